#include <algorithm>
#include <ostream>
#include <sys/stat.h>

#include "backup/BackupCategories.h"
#include "BackupCommands.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupSetFolder.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "TerminalRunView.h"

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

// A relative folder inside the generation folder: no "..", not absolute.
bool IsInsideRelative(const std::filesystem::path& relative)
{
    if (relative.is_absolute())
        return false;
    for (const auto& part : relative)
        if (part == "..")
            return false;
    return true;
}

// The archives are read from below the set folder only: no folder on the way
// down from it may be a link the drive's content planted.
bool ReachedWithoutLinks(const std::filesystem::path& setFolder, const std::filesystem::path& relative)
{
    std::filesystem::path path = setFolder;
    for (const auto& part : relative) {
        if (part.empty() || part == ".")
            continue;
        path /= part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
            return false;
    }
    return true;
}

// The archives of a folder (and, recursively, of its subfolders), sorted.
void CollectArchives(const std::filesystem::path& folder, bool recursive, std::vector<std::filesystem::path>& out)
{
    std::vector<std::filesystem::path> files, folders;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (IsHiddenName(name))
            continue;
        if (entry.is_directory(error) && !entry.is_symlink(error))
            folders.push_back(entry.path());
        else if (entry.is_regular_file(error))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    if (recursive)
        for (const auto& sub : folders)
            CollectArchives(sub, true, out);
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
    if (!IsInsideRelative(folder) || !IsValidSetName(set))
        return Fail(context, bm::kCannotRestoreHere);

    if (context.driveRoot.empty())
        return Fail(context, bm::kNoDrive);
    const auto backupFolder = context.driveRoot / KWBackupManager::kBackupFolder;
    if (!FolderExists(backupFolder))
        return Fail(context, bm::kNoBackupFolder);
    if (const Status checked = CheckSetFolder(backupFolder, set); !checked.ok)
        return Fail(context, SetFolderMessage(checked));
    const auto source = backupFolder / set / generationFolder / folder;
    if (!FolderExists(source) ||
        !ReachedWithoutLinks(backupFolder / set, std::filesystem::path(generationFolder) / folder))
        return Fail(context, bm::kCannotRestoreHere);

    std::vector<std::filesystem::path> archives;
    if (names.empty()) {
        CollectArchives(source, recursive, archives);
    } else {
        for (const auto& name : names) {
            if (name.empty() || name.find('/') != std::string::npos || name == "..")
                return Fail(context, bm::kCannotRestoreHere);
            const auto zipped = source / (name + ".zip");
            archives.push_back(FileExists(zipped) ? zipped : source / name);
        }
    }
    if (archives.empty())
        return Fail(context, bm::kNoFilesSelected);

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

    TerminalRunView fallback(*context.out, *context.in, context.terminal);
    PolicyRunView view(context.view ? *context.view : fallback);
    if (overwrite != "ask")
        view.SetAnswer(BackupRunView::Question::Overwrite,
                       overwrite == "yes" ? PolicyRunView::Answer::Yes : PolicyRunView::Answer::No);
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
