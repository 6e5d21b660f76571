#include <ostream>

#include "BackupCommands.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/OriginalFolderCheck.h"
#include "backup/RestoreSelection.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "CommandRunView.h"

namespace halvex {

namespace bm = backup_message;

namespace {

int Fail(const BackupCommandContext& context, int message)
{
    *context.err << context.strings->Message(message) << "\n";
    return kExitFailed;
}

int Usage(const BackupCommandContext& context, const std::string& problem)
{
    *context.err << "dravane: " << problem << "\n" << BackupCommandsUsage();
    return kExitFailed;
}

// Why the original folder is not restored into, and what to do instead.
std::string OriginalFolderRefusal(const Status& refusal)
{
    const std::string why = refusal.messageKey == kOriginalOutsideHomeKey ? "does not lie in your home folder"
                            : refusal.messageKey == kOriginalHiddenKey    ? "lies in a hidden folder"
                                                                          : "is not a plain absolute folder";
    return "dravane: the set's original folder " + refusal.detail + " " + why +
           "; nothing restored. Name a folder with --to DIR to restore there.";
}

}  // namespace

int RunRestoreCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context)
{
    std::string set, generation = "current", folder, overwrite = "ask", to;
    std::vector<std::string> names;
    bool recursive = false, original = false, desktop = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= arguments.size())
                return false;
            into = arguments[++i];
            return true;
        };
        bool ok = true;
        if (argument == "--set")
            ok = value(set);
        else if (argument == "--generation")
            ok = value(generation);
        else if (argument == "--folder")
            ok = value(folder);
        else if (argument == "--overwrite")
            ok = value(overwrite);
        else if (argument == "--to")
            ok = value(to);
        else if (argument == "--file") {
            std::string name;
            ok = value(name);
            names.push_back(name);
        } else if (argument == "--recursive")
            recursive = true;
        else if (argument == "--original")
            original = true;
        else if (argument == "--desktop")
            desktop = true;
        else
            return Usage(context, "unknown argument " + argument);
        if (!ok)
            return Usage(context, argument + " needs a value");
    }
    if (set.empty())
        return Usage(context, "restore needs --set NAME");
    if (int(original) + int(desktop) + int(!to.empty()) != 1)
        return Usage(context, "restore needs one of --original, --desktop or --to DIR");
    const char* generationFolder = generation == "current"  ? KWBackupManager::kCurrentBackup
                                   : generation == "recent" ? KWBackupManager::kRecentBackup
                                   : generation == "old"    ? KWBackupManager::kOldBackup
                                                            : nullptr;
    if (!generationFolder)
        return Usage(context, "--generation takes current, recent or old");
    if (overwrite != "ask" && overwrite != "yes" && overwrite != "no")
        return Usage(context, "--overwrite takes ask, yes or no");
    RestoreRequest request{set, generationFolder, folder, names, recursive};
    const Result<RestoreSelection> selected = SelectRestoreArchives(context.driveRoot, request);
    if (!selected)
        return Fail(context, RestoreSelectionMessage(selected.status()));
    const std::filesystem::path& source = selected.value().source;
    const std::vector<std::filesystem::path>& archives = selected.value().archives;

    std::filesystem::path target;
    std::filesystem::path boundary;
    std::filesystem::path base = recursive ? source : std::filesystem::path();
    std::string status;
    CommandRunView view(context);
    if (desktop) {
        if (context.desktopFolder.empty())
            return Fail(context, bm::kNoRestorePath);
        target = context.desktopFolder / context.strings->Label(backup_label::kRestoreFolderName);
        boundary = context.desktopFolder;
        status = context.strings->Label(backup_label::kDestinationDesktop);
    } else if (original) {
        // The folder is the drive's word: it is shown, checked and, unless
        // this user backed the set up from it here, asked about before
        // anything is written, and every file goes into that one folder.
        const InfoFileLookup lookup = ReadInfoFile(archives.empty() ? source / kInfoFileName : archives.front());
        if (!lookup.status.ok)
            return Fail(context, InfoFileMessage(lookup.status));
        target = lookup.originalFolder;
        base = lookup.generationFolder;
        boundary = context.homeFolder;
        status = context.strings->Label(backup_label::kDestinationOriginal) + ": " + target.string();
        view.ShowMessage(status);
        if (const Status allowed = CheckOriginalFolder(target, context.homeFolder); !allowed) {
            *context.err << OriginalFolderRefusal(allowed) << "\n";
            return kExitFailed;
        }
        if (!(context.backedUpHere && context.backedUpHere(set, target)) &&
            !view.AskYesNo(BackupRunView::Question::RestoreDestination,
                           "The set " + set + " was not backed up from " + target.string() +
                               " on this computer. Restore its files into that folder?")) {
            *context.err << "Nothing restored. Name the folder with --to DIR to restore there.\n";
            return kExitFailed;
        }
    } else {
        target = std::filesystem::absolute(to);
        status = context.strings->Label(backup_label::kDestination) + " " + target.string();
    }

    view.Preset(BackupRunView::Question::Overwrite, overwrite, "yes");
    static const std::atomic<bool> never{false};
    KWCallbackRestore callback(view, *context.strings, context.cancel ? *context.cancel : never);
    KWBackupManager engine(callback, *context.strings);
    for (const auto& archive : archives)
        engine.AddFileToRestorePool(archive);
    engine.SetRestoreBase(base);
    if (!boundary.empty())
        engine.SetWriteBoundary(boundary);
    callback.SetMaximum(engine.GetRestorePool().size());
    view.SetProgress(0, engine.GetRestorePool().size());
    if (!original)
        view.ShowMessage(status);

    const bool finished = engine.RestoreFromFilesPool(target);
    view.Finish();
    if (finished)
        view.ShowMessage(context.strings->Message(bm::kRestoreDone));
    *context.out << engine.GetStoredCount() << " restored, " << engine.GetSkippedCount() << " skipped, "
                 << engine.GetFailedCount() << " failed\n";
    if (!finished)
        return kExitFailed;
    return engine.GetFailedCount() ? kExitSomeFailed : kExitDone;
}

}  // namespace halvex
