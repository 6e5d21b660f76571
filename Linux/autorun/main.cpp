// PelloryAutoRun: the auto-run agent. Started at log-in by its autostart
// entry, it waits for mounts and starts the suite from each newly mounted
// drive of the suite that this user trusts, and asks through a desktop
// notification about any other. No window; its lines go to standard error,
// which the session's journal keeps. SIGTERM and SIGINT end it.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "AutoRunAgent.h"
#include "InstanceLock.h"
#include "system/MountWatcher.h"
#include "NotificationQuestion.h"
#include "system/TrustedDrives.h"
#include "strings/FormatText.h"
#include "strings/KXStrings.h"
#include "util/SuiteVersion.h"
#include "util/ParseInteger.h"

namespace {

constexpr std::chrono::milliseconds kDefaultPeriod{2000};
// How long a question about a drive waits for the user; mounts that arrive
// meanwhile are handled after it.
constexpr std::chrono::minutes kQuestionLimit{2};

void Log(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// How often the table is read when no kernel event arrives: HALVEX_MOUNT_POLL_MS,
// for tests that feed the agent a plain file, else two seconds.
std::chrono::milliseconds Period()
{
    const char* value = std::getenv("HALVEX_MOUNT_POLL_MS");
    if (value == nullptr)
        return kDefaultPeriod;
    const long milliseconds = halvex::ParseInteger<long>(value).value_or(0);
    if (milliseconds < 10 || milliseconds > 60000)
        return kDefaultPeriod;
    return std::chrono::milliseconds(milliseconds);
}

// The agent's own copy of the string tables, beside its program
// (PelloryAutoRun.app/Contents/Resources); never a drive's, which could
// dress the question up as anything.
void LoadStrings()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !KXStrings::Init(program.parent_path().parent_path() / "Resources"))
        Log("No string tables beside " + program.string() + "; the questions are in English");
}

std::string Text(std::string_view key, std::string_view english)
{
    const std::string text = KXStrings::GetString(key);
    return text.empty() ? std::string(english) : text;
}

halvex::NotificationQuestion::Texts QuestionTexts(const halvex::DriveIdentity& drive)
{
    return {Text("app_name", "Halvex Dravane"),
            Text("autorun_ask_summary", "Start Halvex Dravane from this drive?"),
            halvex::FormatText(Text("autorun_ask_body",
                                    "The drive “%s” carries Halvex Dravane, but it is not one of the drives you "
                                    "trust on this computer. Start it only if you know this drive."),
                               drive.label),
            Text("autorun_ask_start", "Start"),
            Text("autorun_ask_always", "Always for this drive"),
            Text("autorun_ask_not_now", "Not now")};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", halvex::SuiteVersionText().c_str());
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "usage: PelloryAutoRun [--version]\n");
        return 2;
    }

    const halvex::InstanceLock lock(halvex::InstanceLock::DefaultFile());
    if (lock.state() == halvex::InstanceLock::State::HeldByAnother) {
        Log("PelloryAutoRun is already running for this user");
        return 0;
    }

    // The stop signals arrive as readable data in the main loop, so a mount
    // being handled is finished before the agent ends.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopDescriptor = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopDescriptor < 0) {
        Log(std::string("Cannot watch for stop signals: ") + std::strerror(errno));
        return 1;
    }

    const halvex::DeviceSources sources = halvex::DeviceSources::FromEnvironment();
    halvex::MountWatcher watcher(sources.mountInfo);
    if (const halvex::Status started = watcher.Start(); !started) {
        // The detail names the table and the system's reason.
        Log("Cannot read the mount table " + started.detail);
        return 1;
    }
    Log("PelloryAutoRun " + halvex::SuiteVersionText() + " watching " + sources.mountInfo.string());
    LoadStrings();
    const halvex::NotificationQuestion question(kQuestionLimit, stopDescriptor);
    halvex::AutoRunAgent agent(
        sources, halvex::TrustedDrives::DefaultFile(),
        [&question](const halvex::DriveIdentity& drive) { return question.Ask(QuestionTexts(drive)); },
        halvex::AutoRunAgent::LaunchApplication, Log);
    agent.Run(watcher, stopDescriptor, Period());
    close(stopDescriptor);
    return 0;
}
