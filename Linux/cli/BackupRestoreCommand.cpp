#include <ostream>

#include "BackupCommands.h"
#include "backup/BackupFileUtils.h"
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
    std::string status;
    if (desktop) {
        if (context.desktopFolder.empty())
            return Fail(context, bm::kNoRestorePath);
        target = context.desktopFolder / context.strings->Label(backup_label::kRestoreFolderName);
        status = context.strings->Label(backup_label::kDestinationDesktop);
    } else if (original) {
        status = context.strings->Label(backup_label::kDestinationOriginal);
    } else {
        target = std::filesystem::absolute(to);
        status = context.strings->Label(backup_label::kDestination) + " " + target.string();
    }

    CommandRunView view(context);
    view.Preset(BackupRunView::Question::Overwrite, overwrite, "yes");
    static const std::atomic<bool> never{false};
    KWCallbackRestore callback(view, *context.strings, context.cancel ? *context.cancel : never);
    KWBackupManager engine(callback, *context.strings);
    for (const auto& archive : archives)
        engine.AddFileToRestorePool(archive);
    if (recursive && !original)
        engine.SetRestoreBase(source);
    callback.SetMaximum(engine.GetRestorePool().size());
    view.SetProgress(0, engine.GetRestorePool().size());
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
