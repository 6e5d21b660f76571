#include "SyncCommand.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

#include "KMDevice.h"
#include "paths/KXAppPaths.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"
#include "sync/SyncFolderPair.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace halvex {

namespace fs = std::filesystem;

const char* const kSyncCommandHelp =
    "usage: dravane sync [--computer-folder DIR] [--subfolders | --no-subfolders]\n"
    "                    [--log | --no-log] [--list] [--yes]\n"
    "Compares the drive's sync folder with this computer's folder and copies\n"
    "what is missing or older on either side.\n"
    "  --computer-folder DIR  store DIR as this computer's sync folder\n"
    "  --subfolders           compare subfolders too (saved)\n"
    "  --no-subfolders        only the files directly in the two folders (saved)\n"
    "  --log, --no-log        write the sync log, or not (saved)\n"
    "  --list                 list what would be copied and copy nothing\n"
    "  --yes                  answer yes to the questions instead of stopping\n"
    "Ctrl-C stops after the file in hand.\n";

namespace {

struct SyncArguments {
    std::optional<fs::path> computerFolder;
    std::optional<bool> subfolders;
    std::optional<bool> log;
    bool list = false;
    bool yes = false;
};

SyncControl* sControl = nullptr;  // for the Ctrl-C handler only

extern "C" void OnInterrupt(int)
{
    if (sControl)
        sControl->cancel.store(true);
    // A second Ctrl-C ends the program at once.
    ::signal(SIGINT, SIG_DFL);
}

class InterruptScope {
public:
    explicit InterruptScope(SyncControl& control)
    {
        sControl = &control;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptScope()
    {
        ::sigaction(SIGINT, &m_previous, nullptr);
        sControl = nullptr;
    }

private:
    struct sigaction m_previous {};
};

std::optional<std::string> ReadFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return line;
}

// The drive rules of the folder chooser, from the drive detection.
SyncDriveProbe MakeDriveProbe(const fs::path& runPath)
{
    SyncDriveProbe probe;
    probe.isRemovable = [](const fs::path& folder) {
        const DeviceSources sources = DeviceSources::FromEnvironment();
        const KMDevice device(folder, sources);
        if (device.runFromDevice())
            return true;
        const std::string& disk = device.bsdName();
        if (disk.empty())
            return false;  // network, tmpfs and the like: not a removable medium
        if (disk.rfind("sr", 0) == 0)
            return true;  // optical
        const auto removable = ReadFirstLine(sources.sysfsRoot / "class" / "block" / disk / "removable");
        return removable && *removable == "1";
    };
    probe.driveFreeBytes = [runPath]() -> std::optional<std::uint64_t> {
        const KMDevice drive(runPath, DeviceSources::FromEnvironment(runPath));
        std::uint64_t total = 0, used = 0, free = 0;
        if (!drive.getSizeForTotal(total, used, free))
            return std::nullopt;
        return free;
    };
    return probe;
}

fs::path MountPathOf(const fs::path& destination)
{
    fs::path existing = destination.parent_path();
    std::error_code ec;
    while (!existing.empty() && !fs::exists(existing, ec) && existing.has_relative_path())
        existing = existing.parent_path();
    const KMDevice device(existing, DeviceSources::FromEnvironment());
    return device.mountPath().empty() ? MountPointOf(destination) : device.mountPath();
}

// Prints the engine's reports on a terminal and answers its questions from
// --yes: without it a question stops the command, nothing changed.
class TerminalCallback : public SyncCallback {
public:
    TerminalCallback(std::ostream& out, std::ostream& err, bool yes)
        : m_out(out), m_err(err), m_yes(yes), m_tty(::isatty(STDERR_FILENO) == 1)
    {
    }

    bool asked = false;  // a question was refused for want of --yes

    void OnScanProgress(const ScanCounters& counters, const std::string& message) override
    {
        if (!m_tty || (counters.foldersScanned + counters.filesScanned) % 256 != 0)
            return;
        std::string line = message;
        for (char& c : line)
            if (c == '\n')
                c = ' ';
        Status(line);
    }
    void OnRunStatus(const std::string& status) override { m_status = status; }
    void OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total) override
    {
        if (!m_tty || countText.empty())
            return;
        const unsigned percent = total ? static_cast<unsigned>(100ull * processed / total) : 100u;
        Status(m_status + "  " + countText + "  " + std::to_string(percent) + "%");
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override
    {
        EndStatus();
        (icon == MessageIcon::Information ? m_out : m_err) << text << '\n';
    }
    Answer Ask(const std::string& text, MessageIcon, bool) override
    {
        EndStatus();
        if (m_yes) {
            m_err << text << "\n(yes)\n";
            return Answer::Yes;
        }
        asked = true;
        m_err << text << "\n(not confirmed: give --yes to answer yes; nothing was changed)\n";
        return Answer::Abandon;
    }

    void EndStatus()
    {
        if (m_statusShown)
            m_err << "\r\033[K" << std::flush;
        m_statusShown = false;
    }

private:
    void Status(const std::string& line)
    {
        m_err << "\r\033[K" << line << std::flush;
        m_statusShown = true;
    }

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_yes;
    bool m_tty;
    bool m_statusShown = false;
    std::string m_status;
};

std::optional<SyncArguments> ParseArguments(const std::vector<std::string>& args, std::ostream& err)
{
    SyncArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--computer-folder") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                err << "dravane sync: --computer-folder needs a folder\n";
                return std::nullopt;
            }
            parsed.computerFolder = fs::path(args[++i]);
        } else if (a.rfind("--computer-folder=", 0) == 0 && a.size() > 18) {
            parsed.computerFolder = fs::path(a.substr(18));
        } else if (a == "--subfolders" || a == "--no-subfolders") {
            parsed.subfolders = a == "--subfolders";
        } else if (a == "--log" || a == "--no-log") {
            parsed.log = a == "--log";
        } else if (a == "--list") {
            parsed.list = true;
        } else if (a == "--yes" || a == "-y") {
            parsed.yes = true;
        } else {
            err << "dravane sync: unknown option '" << a << "'\n" << kSyncCommandHelp;
            return std::nullopt;
        }
    }
    return parsed;
}

// --computer-folder: the chooser's choice when none is stored yet, else a
// change of folder with the set-aside question. 0 when stored or unchanged.
int StoreComputerFolder(const SyncPlace& place, const fs::path& given, const SyncDriveProbe& probe,
                        TerminalCallback& callback, std::ostream& err)
{
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(fs::absolute(given, ec), ec);
    const fs::path usb = SyncUsbPath(place.runPath);
    const Status check = CheckBrowsedFolder(folder, usb, probe);
    if (!check) {
        err << KXStrings::GetString(check.messageKey) << "\n(" << folder.string() << ": " << check.detail << ")\n";
        return 2;
    }
    const fs::path index = SyncIndexPath(place.dataPath);
    if (ReadComputerFolder(index, place.computerKey).empty()) {
        if (!ConfirmFolderSize(folder, probe, callback))
            return 2;
        const Status saved = WriteComputerFolder(index, place.computerKey, folder);
        if (!saved) {
            err << KXStrings::GetString(saved.messageKey) << " (" << saved.detail << ")\n";
            return 2;
        }
        return 0;
    }
    return SetSyncFolder(place, folder, callback) == FolderChange::Abandoned ? 2 : 0;
}

}  // namespace

int RunSyncCommand(const KXAppPaths& paths, const std::vector<std::string>& args, std::ostream& out,
                   std::ostream& err)
{
    const std::optional<SyncArguments> parsed = ParseArguments(args, err);
    if (!parsed)
        return 2;
    TerminalCallback callback(out, err, parsed->yes);

    if (parsed->subfolders || parsed->log) {
        if (parsed->subfolders)
            KXAppPrefs::Set("SyncSubfolders", *parsed->subfolders);
        if (parsed->log)
            KXAppPrefs::Set("SyncLog", *parsed->log);
        if (!KXAppPrefs::Sync())
            err << "dravane sync: the preferences could not be saved in " << KXAppPrefs::FilePath().string() << '\n';
    }

    const SyncPlace place{paths.RunPath(), paths.DataPath(), ScrambleIdentity(ComputerIdentity())};
    const SyncDriveProbe probe = MakeDriveProbe(paths.RunPath());
    if (parsed->computerFolder) {
        if (const int status = StoreComputerFolder(place, *parsed->computerFolder, probe, callback, err))
            return status;
    } else if (ReadComputerFolder(SyncIndexPath(place.dataPath), place.computerKey).empty()) {
        err << "dravane sync: no sync folder is stored for this computer yet; "
               "choose one with --computer-folder DIR\n";
        return 2;
    }

    // The stored folder is there (or the question about it is answered):
    // the chooser of the window has no place here.
    const std::optional<SyncFolderPair> pair = GetFolderInfo(place, callback);
    if (!pair)
        return 2;

    SyncControl control;
    InterruptScope interrupt(control);
    const Recursion recursion = KXAppPrefs::Bool("SyncSubfolders") ? Recursion::Into : Recursion::TopOnly;
    SyncScanner scanner(callback, control, recursion);
    std::vector<ItemData> rows;
    const bool scanned = scanner.Scan(pair->computer, pair->usb, rows);
    callback.EndStatus();
    ScanCounters counters = scanner.Counters();

    if (parsed->list) {
        for (const ItemData& row : rows) {
            const fs::path& root = row.sourceUsb ? pair->usb : pair->computer;
            out << (row.sourceUsb ? "to-computer\t" : "to-drive\t") << row.path.lexically_relative(root).string()
                << '\n';
        }
        out << rows.size() << " to copy: " << counters.toComputer << " to-computer, " << counters.toDrive
            << " to-drive\n";
        return scanned ? 0 : 1;
    }
    if (!scanned)
        return 1;  // a cancelled scan copies nothing, as in the window
    if (CountChecked(rows) == 0) {
        out << KXStrings::GetString("sync_none") << '\n';
        return 0;
    }

    SyncRunOptions options;
    options.log = KXAppPrefs::Bool("SyncLog");
    options.logPath = paths.SyncLogPath();
    options.mountPath = MountPathOf;
    // One log per start of the program: this command is one start.
    if (options.log)
        paths.DeleteSyncLog();
    SyncRunner runner(callback, control, options);
    const SyncRunResult result = runner.Run(rows, counters);
    callback.EndStatus();
    out << SyncResultText(result) << '\n';
    if (options.log && !options.logPath.empty())
        out << "log: " << options.logPath.string() << '\n';
    return result.failures > 0 || result.cancelled ? 1 : 0;
}

}  // namespace halvex
