// dravane restore: files of a backup set back to the computer.

#include <ostream>

#include "BackupCommandContext.h"
#include "CommandOptions.h"
#include "CommandRunView.h"
#include "Text.h"
#include "backup/BackupInfoFile.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "backup/OriginalFolderCheck.h"
#include "backup/RestoreSelection.h"
#include "strings/FormatText.h"

namespace halvex::cli {

namespace bm = backup_message;

namespace {

// Why the original folder is not restored into, and what to do instead.
std::string OriginalFolderRefusal(const Status& refusal)
{
    const std::string why = refusal.messageKey == kOriginalOutsideHomeKey ? "does not lie in your home folder"
                            : refusal.messageKey == kOriginalHiddenKey    ? "lies in a hidden folder"
                                                                          : "is not a plain absolute folder";
    return "dravane: the set's original folder " + refusal.detail + " " + why +
           "; nothing restored. Name a folder with --to DIR to restore there.";
}

int Run(Context& context, const std::vector<std::string>& options)
{
    return RunWithBackupContext(context, options, RunRestoreCommand);
}

}  // namespace

int RunRestoreCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context)
{
    const CommandOptions options =
        CommandOptions::Parse(arguments, {{"--set", "--generation", "--folder", "--overwrite", "--to", "--file"},
                                          {"--recursive", "--original", "--desktop"}});
    if (const std::string problem = options.ErrorIfAnyWord(); !problem.empty())
        return FailWithUsage(context, problem);
    const std::string set = options.One("--set");
    const std::string generation = options.One("--generation", "current");
    const std::string folder = options.One("--folder");
    const std::string overwrite = options.One("--overwrite", "ask");
    const std::string to = options.One("--to");
    const std::vector<std::string> names = options.All("--file");
    const bool recursive = options.Has("--recursive");
    const bool original = options.Has("--original");
    const bool desktop = options.Has("--desktop");
    if (set.empty())
        return FailWithUsage(context, "restore needs --set NAME");
    if (int(original) + int(desktop) + int(!to.empty()) != 1)
        return FailWithUsage(context, "restore needs one of --original, --desktop or --to DIR");
    const char* generationFolder = generation == "current"  ? KWBackupManager::kCurrentBackup
                                   : generation == "recent" ? KWBackupManager::kRecentBackup
                                   : generation == "old"    ? KWBackupManager::kOldBackup
                                                            : nullptr;
    if (!generationFolder)
        return FailWithUsage(context, "--generation takes current, recent or old");
    if (overwrite != "ask" && overwrite != "yes" && overwrite != "no")
        return FailWithUsage(context, "--overwrite takes ask, yes or no");
    RestoreRequest request{set, generationFolder, folder, names, recursive};
    const Result<RestoreSelection> selected = SelectRestoreArchives(context.driveRoot, request);
    if (!selected)
        return FailWithMessage(context, RestoreSelectionMessage(selected.status()), Explanation::Left);
    const std::filesystem::path& source = selected.value().source;
    const std::vector<std::filesystem::path>& archives = selected.value().archives;

    RestoreRunOptions run;
    run.base = recursive ? source : std::filesystem::path();
    run.archiveThreads = context.archiveThreads;
    std::string status;
    CommandRunView view(context);
    if (desktop) {
        if (context.desktopFolder.empty())
            return FailWithMessage(context, bm::kNoRestorePath, Explanation::Left);
        run.target = context.desktopFolder / context.strings->Label(backup_label::kRestoreFolderName);
        run.writeBoundary = context.desktopFolder;
        status = context.strings->Label(backup_label::kDestinationDesktop);
    } else if (original) {
        // The folder is the drive's word: it is shown, checked and, unless
        // this user backed the set up from it here, asked about before
        // anything is written, and every file goes into that one folder.
        const InfoFileLookup lookup = ReadInfoFile(archives.empty() ? source / kInfoFileName : archives.front());
        if (!lookup.status.ok)
            return FailWithMessage(context, InfoFileMessage(lookup.status), Explanation::Left);
        run.target = lookup.originalFolder;
        run.base = lookup.generationFolder;
        run.writeBoundary = context.homeFolder;
        status = context.strings->Label(backup_label::kDestinationOriginal) + ": " + run.target.string();
        view.ShowMessage(status);
        if (const Status allowed = CheckOriginalFolder(run.target, context.homeFolder); !allowed) {
            *context.err << OriginalFolderRefusal(allowed) << "\n";
            return kExitFailed;
        }
        if (!(context.backedUpHere && context.backedUpHere(set, run.target)) &&
            !view.AskYesNo(BackupRunView::Question::RestoreDestination,
                           "The set " + set + " was not backed up from " + run.target.string() +
                               " on this computer. Restore its files into that folder?")) {
            *context.err << "Nothing restored. Name the folder with --to DIR to restore there.\n";
            return kExitFailed;
        }
    } else {
        run.target = std::filesystem::absolute(to);
        status = context.strings->Label(backup_label::kDestination) + " " + run.target.string();
    }

    view.Preset(BackupRunView::Question::Overwrite, overwrite, "yes");
    static const std::atomic<bool> never{false};
    KWCallbackRestore callback(view, *context.strings, context.cancel ? *context.cancel : never);
    KWBackupManager engine(callback, *context.strings);
    for (const auto& archive : archives)
        engine.AddFileToRestorePool(archive);
    callback.SetMaximum(engine.GetRestorePool().size());
    view.SetProgress(0, engine.GetRestorePool().size());
    if (!original)
        view.ShowMessage(status);

    const bool finished = engine.RestoreFromFilesPool(run);
    view.Finish();
    if (finished)
        view.ShowMessage(context.strings->Message(bm::kRestoreDone));
    *context.out << engine.GetStoredCount() << " restored, " << engine.GetSkippedCount() << " skipped, "
                 << engine.GetFailedCount() << " failed\n";
    if (!finished)
        return kExitFailed;
    return engine.GetFailedCount() ? kExitFailures : kExitDone;
}

const Command& RestoreCommand()
{
    static const Command command{
        "restore", "restore files of a backup set to their folder, the desktop or another folder",
        "restore --set NAME [--generation current|recent|old] [--folder RELATIVE] [--file NAME]...\n"
        "        [--recursive] (--original | --desktop | --to DIR) [--overwrite ask|yes|no]\n"
        "  every file of the folder unless --file names some; --recursive takes its subfolders too\n",
        Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
