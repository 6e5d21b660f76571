// dravane sync: the folder sync of the sync window, without the window.

#include <fstream>
#include <optional>
#include <ostream>

#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "system/KMDevice.h"
#include "system/SyncDriveRules.h"
#include "Text.h"
#include "paths/KXAppPaths.h"
#include "prefs/KXAppPrefs.h"
#include "prefs/PrefsKeys.h"
#include "strings/FormatText.h"
#include "strings/KXStrings.h"
#include "sync/SyncFolderPair.h"
#include "sync/SyncProblem.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"
#include "util/ComputerIdentity.h"
#include "util/IgnoreResult.h"
#include "util/ScrambleIdentity.h"

namespace halvex::cli {

namespace {

namespace fs = std::filesystem;

struct SyncOptions {
    std::optional<fs::path> computerFolder;
    std::optional<bool> subfolders;
    std::optional<bool> log;
    bool list = false;
};

// The engine's reports on the console. A question is answered yes only with
// --yes (or by the user at a terminal); otherwise the operation stops and
// nothing is changed.
class ConsoleCallback : public SyncCallback {
public:
    explicit ConsoleCallback(Console& console) : m_console(console) {}

    void OnScanProgress(const ScanCounters& counters, const std::string& message) override
    {
        std::string line = message;
        for (char& c : line)
            if (c == '\n')
                c = ' ';
        m_console.progress(line, 0, 0);
    }
    void OnRunStatus(const std::string& status) override { m_status = status; }
    void OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total) override
    {
        if (!countText.empty())
            m_console.progress(m_status + "  " + countText, processed, total);
    }
    void OnRowFailed(std::size_t, const fs::path& item, const std::string& reason) override
    {
        m_console.endProgress();
        m_console.error(item.string() + ": " + reason);
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override
    {
        if (icon == MessageIcon::Information)
            m_console.message(text);
        else
            m_console.error(text);
    }
    Answer Ask(const std::string& text, MessageIcon, bool) override
    {
        if (m_console.askYesNo(text))
            return Answer::Yes;
        m_console.error(Text("cli_not_confirmed", "Not confirmed (give --yes to answer yes); nothing was changed."));
        return Answer::Abandon;
    }

private:
    Console& m_console;
    std::string m_status;
};

std::optional<SyncOptions> ParseOptions(Console& console, const std::vector<std::string>& options)
{
    const CommandOptions given = CommandOptions::Parse(
        options, {{"--computer-folder"}, {"--subfolders", "--no-subfolders", "--log", "--no-log", "--list"}});
    std::string problem = given.ErrorIfAnyWord();
    const std::optional<std::string> folder = given.Last("--computer-folder");
    if (problem.empty() && folder && folder->empty())
        problem = FormatText(Text("cli_option_needs_value", "The option %s needs a value."), "--computer-folder");
    // A setting and its opposite together say nothing the command could follow.
    for (const auto& [on, off] : {std::pair{"--subfolders", "--no-subfolders"}, std::pair{"--log", "--no-log"}})
        if (problem.empty() && given.Has(on) && given.Has(off))
            problem = FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), off);
    if (!problem.empty()) {
        console.error(problem);
        return std::nullopt;
    }
    SyncOptions parsed;
    if (folder)
        parsed.computerFolder = fs::path(*folder);
    if (given.Has("--subfolders") || given.Has("--no-subfolders"))
        parsed.subfolders = given.Has("--subfolders");
    if (given.Has("--log") || given.Has("--no-log"))
        parsed.log = given.Has("--log");
    parsed.list = given.Has("--list");
    return parsed;
}

// --computer-folder: the chooser's choice when this computer has none yet
// (its checks, no set-aside question); otherwise a change of folder as on the
// preferences page, with the set-aside question.
int StoreComputerFolder(const SyncPlace& place, const fs::path& given, const SyncDriveProbe& probe,
                        ConsoleCallback& callback, Console& console)
{
    std::error_code ec;
    fs::path folder = fs::absolute(given, ec);
    folder = fs::weakly_canonical(folder, ec);
    const Status check = CheckBrowsedFolder(folder, SyncUsbPath(place.runPath), probe);
    if (!check) {
        console.error(KXStrings::GetString(check.messageKey) + " (" + folder.string() + ": " + check.detail + ")");
        return kExitSetup;
    }
    const fs::path index = SyncIndexPath(place.dataPath);
    if (ReadComputerFolder(index, place.computerKey).empty()) {
        if (!ConfirmFolderSize(folder, probe, callback))
            return kExitSetup;
        const Status saved = WriteComputerFolder(index, place.computerKey, folder);
        if (!saved) {
            console.error(WithDetail(KXStrings::GetString(saved.messageKey), saved));
            return kExitSetup;
        }
    } else if (SetSyncFolder(place, folder, callback) == FolderChange::Abandoned) {
        return kExitSetup;
    }
    // Named here by this user: later syncs take it from the drive without a question.
    if (probe.recordChoice)
        probe.recordChoice(folder);
    return kExitDone;
}

int Run(Context& context, const std::vector<std::string>& options)
{
    Console& console = context.console();
    const std::optional<SyncOptions> parsed = ParseOptions(console, options);
    if (!parsed)
        return kExitSetup;
    ConsoleCallback callback(console);

    if (parsed->subfolders || parsed->log) {
        if (parsed->subfolders)
            KXAppPrefs::Set(prefkey::kSyncSubfolders, *parsed->subfolders);
        if (parsed->log)
            KXAppPrefs::Set(prefkey::kSyncLog, *parsed->log);
        if (const Status saved = KXAppPrefs::Sync(); !saved)
            console.error(
                WithDetail(FormatText(Text("cli_prefs_not_saved", "The preferences could not be saved in %s."),
                                      KXAppPrefs::FilePath()),
                           saved));
    }

    const KXAppPaths& paths = context.paths();
    const SyncPlace place{paths.RunPath(), paths.DataPath(), ScrambleIdentity(ComputerIdentity())};
    const SyncDriveProbe probe = MakeSyncDriveProbe(context.drive());
    if (parsed->computerFolder) {
        if (const int status = StoreComputerFolder(place, *parsed->computerFolder, probe, callback, console))
            return status;
    } else if (const std::string stored = ReadComputerFolder(SyncIndexPath(place.dataPath), place.computerKey);
               stored.empty()) {
        console.error(Text("cli_no_sync_folder",
                           "No sync folder has been chosen for this computer yet: give --computer-folder DIR."));
        return kExitSetup;
    } else if (probe.chosenHere && !probe.chosenHere(stored) &&
               CheckBrowsedFolder(stored, SyncUsbPath(place.runPath), probe)) {
        // The drive's index names it, and anyone may have written that.
        console.error(FormatText(Text("cli_sync_folder_unconfirmed",
                                      "The USB flash drive names %s as this computer's sync folder, but it was not "
                                      "chosen on this computer. Nothing was synchronized. To use it, confirm it with "
                                      "--computer-folder \"%s\"; or give another folder."),
                                 stored, stored));
        return kExitSetup;
    }
    // The folder chooser of the window has no place here: a stored folder
    // that is gone ends the command after its question.
    const std::optional<SyncFolderPair> pair = GetFolderInfo(place, callback, probe);
    if (!pair)
        return kExitSetup;

    SyncControl control(context.cancel());
    SyncScanOptions scanOptions;
    scanOptions.recursion = KXAppPrefs::Bool(prefkey::kSyncSubfolders) ? Recursion::Into : Recursion::TopOnly;
    SyncScanner scanner(callback, control, scanOptions);
    std::vector<ItemData> rows;
    const Status scanned = scanner.Scan(pair->computer, pair->drive, rows);
    console.endProgress();
    ScanCounters counters = scanner.Counters();

    std::ostream& out = console.out();
    if (parsed->list) {
        for (const ItemData& row : rows) {
            const fs::path& root = row.sourceUsb ? pair->drive : pair->computer;
            const std::string relative = row.path.lexically_relative(root).string();
            if (!row.problem.empty())
                out << "problem\t" << (row.sourceUsb ? "drive:" : "computer:") << relative << '\t'
                    << SyncProblemText(row) << '\n';
            else
                out << (row.sourceUsb ? "to-computer\t" : "to-drive\t") << relative << '\n';
        }
        const std::size_t problems = rows.size() - counters.toComputer - counters.toDrive;
        out << counters.toComputer + counters.toDrive << " to copy: " << counters.toComputer << " to-computer, "
            << counters.toDrive << " to-drive";
        if (problems > 0)
            out << "; " << problems << " problem(s)";
        out << '\n';
        if (counters.timeShifted > 0)
            out << KXStrings::Format("sync_time_shift", counters.timeShifted) << '\n';
        out.flush();
        return scanned.ok && problems == 0 ? kExitDone : kExitFailures;
    }
    if (scanned.cancelled())
        return kExitFailures;  // a cancelled scan copies nothing, as in the window
    if (CountChecked(rows) == 0) {
        out << KXStrings::GetString("sync_none") << '\n';
        return kExitDone;
    }

    SyncRunOptions runOptions;
    runOptions.log = KXAppPrefs::Bool(prefkey::kSyncLog);
    runOptions.logPath = paths.SyncLogPath();
    runOptions.mountPath = SyncMountPathOf;
    runOptions.computerFolder = pair->computer;
    runOptions.driveFolder = pair->drive;
    // Each start of the program has a log of its own; this command is one start.
    if (runOptions.log)
        IgnoreResult(paths.DeleteSyncLog(), "an old log that stays is only added to; the sync does not need it gone");
    SyncRunner runner(callback, control, runOptions);
    const SyncRunSummary result = runner.Run(rows, counters);
    console.endProgress();
    if (result.ended.messageKey == kSyncFolderGoneKey)
        console.error(Text(kSyncFolderGoneKey,
                           "A folder of the sync pair went away during the sync (was the drive removed?). "
                           "The sync has been stopped."));
    out << SyncResultText(result) << '\n';
    if (runOptions.log && !runOptions.logPath.empty())
        out << FormatText(Text("cli_sync_log_at", "Sync log: %s"), runOptions.logPath) << '\n';
    out.flush();
    return result.failures > 0 || !result.ended.ok ? kExitFailures : kExitDone;
}

}  // namespace

const Command& SyncCommand()
{
    static const Command command{
        "sync", "compare the drive's sync folder with this computer's and copy what is missing or older",
        "sync [--computer-folder DIR] [--subfolders | --no-subfolders] [--log | --no-log] [--list]\n"
        "\n"
        "Compares the sync folder on the drive with this computer's sync folder and\n"
        "copies every file that is missing or older on the other side (newer by more\n"
        "than two seconds wins; a file it replaces goes to the Trash, nothing is\n"
        "deleted). Equal files whose times differ only by a time-zone shift (a FAT\n"
        "drive's local times) are counted, not copied.\n"
        "  --computer-folder DIR  store DIR as this computer's sync folder; changing it\n"
        "                         asks before the drive's folder is set aside\n"
        "  --subfolders           compare subfolders too (saved in the preferences)\n"
        "  --no-subfolders        only the files directly in the two folders (saved)\n"
        "  --log, --no-log        write the sync log, or not (saved)\n"
        "  --list                 print what would be copied, 'to-computer' or 'to-drive',\n"
        "                         a tab and the path, then the count; copy nothing.\n"
        "                         What cannot be copied is listed as 'problem', a tab,\n"
        "                         'computer:' or 'drive:' and the path, a tab and why\n"
        "Names are compared as a FAT or exFAT side sees them: two names that differ\n"
        "only in case are one file there, and two such names on the other side are\n"
        "reported, never copied over each other. Links are never followed.\n"
        "Exit status 0 when every file was copied, 1 when a file failed, was not\n"
        "copied for a reason listed, or Ctrl-C stopped the sync (after the file in\n"
        "hand), 2 on a usage or setup error.\n",
        Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
