#include "system/KMAutoRun.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>
#include <thread>

#include "system/KMSystem.h"
#include "system/Processes.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "util/IgnoreResult.h"
#include "util/ParseInteger.h"

namespace fs = std::filesystem;
using halvex::Status;

fs::path KMAutoRun::InstallFolder()
{
    return KMSystem::GetApplicationsFolder() / kInstallFolderName;
}

fs::path KMAutoRun::InstalledAgent()
{
    return InstallFolder() / kAgentBundleName;
}

fs::path KMAutoRun::InstalledProgram()
{
    return InstalledAgent() / "Contents" / "Linux" / kAgentProgramName;
}

fs::path KMAutoRun::PackageIn(const fs::path& resourcesPath)
{
    return resourcesPath / kPackageName;
}

std::optional<std::array<int, 4>> KMAutoRun::ParseVersion(std::string_view text)
{
    std::array<int, 4> numbers{0, 0, 0, 0};
    std::size_t index = 0;
    while (true) {
        if (index == numbers.size())
            return std::nullopt;
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        const auto value = halvex::ParseInteger<int>(part);
        if (!value || *value < 0)
            return std::nullopt;
        numbers[index++] = *value;
        if (dot == std::string_view::npos)
            return numbers;
        text.remove_prefix(dot + 1);
    }
}

bool KMAutoRun::IsOlderThanAccepted(const std::array<int, 4>& version)
{
    for (std::size_t i = 0; i < version.size(); ++i) {
        if (version[i] != kOldestAcceptedVersion[i])
            return version[i] < kOldestAcceptedVersion[i];
    }
    return false;
}

std::optional<std::array<int, 4>> KMAutoRun::InstalledVersion()
{
    const fs::path infoFile = InstalledAgent() / "Contents" / "Info.plist";
    std::error_code error;
    if (!fs::is_regular_file(infoFile, error))
        return std::nullopt;
    DXPlistPrefs info(infoFile);
    std::string version;
    if (!info.GetValue(kVersionKey, version, ""))
        return std::nullopt;
    return ParseVersion(version);
}

bool KMAutoRun::NeedToInstall()
{
    std::error_code error;
    // A folder without its program (a half-deleted agent) is as good as none.
    if (!fs::is_regular_file(InstalledProgram(), error))
        return true;
    const auto version = InstalledVersion();
    return !version || IsOlderThanAccepted(*version);
}

Status KMAutoRun::Start(const fs::path& path)
{
    fs::path program;
    if (path.empty()) {
        program = InstalledProgram();
    } else {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            // An application folder "<Name>.app" runs Contents/Linux/<Name>.
            program = path / "Contents" / "Linux" / path.stem();
        } else {
            program = path;
        }
    }
    std::error_code error;
    if (!fs::is_regular_file(program, error))
        return Status::FailErrno(halvex::kProgramStartErrorKey, program, ENOENT);
    return KMSystem::StartProgram(program, {}).status();
}

bool KMAutoRun::IsEnabled()
{
    return KMSystem::LoginItemExists(InstalledProgram());
}

bool KMAutoRun::IsRunning()
{
    return !KMSystem::FindProcesses(InstalledProgram()).empty();
}

Status KMAutoRun::Stop(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::vector<pid_t> running = KMSystem::FindProcesses(InstalledProgram());
        if (running.empty())
            return Status::Ok();
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return Status::Fail(halvex::kProgramQuitErrorKey, InstalledProgram().string() + ": still running after " +
                                                                  std::to_string(limit.count()) + " ms");
        // Each is asked to quit and waited for in turn, within what is left
        // of the limit; a new look follows, since another may have started.
        for (pid_t pid : running) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            halvex::IgnoreResult(KMSystem::QuitProcess(pid, std::max(left, std::chrono::milliseconds(0))),
                                 "the next look at the running agents decides");
        }
    }
}

Status KMAutoRun::Enable(const fs::path& package, std::chrono::milliseconds stopLimit)
{
    if (Status stopped = Stop(stopLimit); !stopped)
        return stopped.As(kInstallErrorKey);
    if (Status folder = KMSystem::CreateFolder(InstallFolder()); !folder)
        return folder.As(kInstallErrorKey);
    if (NeedToInstall()) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(InstalledAgent(), error))) {
            fs::remove_all(InstalledAgent(), error);
            if (error)
                return Status::FailErrno(kInstallErrorKey, InstalledAgent(), error.value());
        }
        if (Status unpacked = KMSystem::ExtractZip(package, InstallFolder()); !unpacked)
            return unpacked.As(kInstallErrorKey);
        // A package without a current agent in it would be unpacked on every start.
        if (NeedToInstall())
            return Status::Fail(kInstallErrorKey, package.string() + ": holds no current agent");
    }
    // Without its autostart entry the agent would not start at the next log-in,
    // and the suite would take it for not installed.
    if (!KMSystem::LoginItemExists(InstalledProgram())) {
        if (Status added = KMSystem::AddToLoginItems(InstalledProgram(), false); !added)
            return added.As(kInstallErrorKey);
    }
    if (Status started = Start(InstalledAgent()); !started)
        return started.As(kInstallErrorKey);
    return Status::Ok();
}

Status KMAutoRun::Disable(std::chrono::milliseconds stopLimit)
{
    if (Status stopped = Stop(stopLimit); !stopped)
        return stopped.As(kUninstallErrorKey);
    std::error_code error;
    if (fs::exists(fs::symlink_status(InstalledAgent(), error))) {
        fs::remove_all(InstalledAgent(), error);
        if (error)
            return Status::FailErrno(kUninstallErrorKey, InstalledAgent(), error.value());
    }
    if (Status removed = KMSystem::RemoveLoginItem(InstalledProgram()); !removed)
        return removed.As(kUninstallErrorKey);
    return Status::Ok();
}

KMAutoRun::StartupAction KMAutoRun::DecideAtStartup(bool isAdministrator, bool isEnabled, bool isOutdated,
                                                    bool isRunning, bool askAutoRun)
{
    if (!isAdministrator)
        return StartupAction::Nothing;
    if (isEnabled) {
        if (isOutdated)
            return StartupAction::Reinstall;
        return isRunning ? StartupAction::Nothing : StartupAction::StartAgent;
    }
    return askAutoRun ? StartupAction::Ask : StartupAction::Nothing;
}

KMAutoRun::StartupAction KMAutoRun::DecideAtStartup()
{
    const bool administrator = KMSystem::IsUserAdmin();
    const bool enabled = administrator && IsEnabled();
    return DecideAtStartup(administrator, enabled, enabled && NeedToInstall(), enabled && IsRunning(),
                           KXAppPrefs::Bool(halvex::prefkey::kAskAutoRun));
}
