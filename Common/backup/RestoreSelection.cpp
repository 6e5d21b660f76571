#include "backup/RestoreSelection.h"

#include <algorithm>
#include <sys/stat.h>

#include "backup/BackupCategories.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupSetFolder.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"

namespace halvex {

namespace {

constexpr const char* kNotHereKey = "backup_restore_not_here";
constexpr const char* kNoDriveKey = "backup_no_drive";
constexpr const char* kNoBackupFolderKey = "backup_no_backup_folder";
constexpr const char* kNoFilesKey = "backup_no_files_selected";

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

Result<RestoreSelection> SelectRestoreArchives(const std::filesystem::path& driveRoot, const RestoreRequest& request)
{
    using Answer = Result<RestoreSelection>;
    if (!IsInsideRelative(request.folder) || !IsValidSetName(request.set))
        return Answer::Fail(kNotHereKey);
    if (driveRoot.empty())
        return Answer::Fail(kNoDriveKey);
    const auto backupFolder = driveRoot / KWBackupManager::kBackupFolder;
    if (!FolderExists(backupFolder))
        return Answer::Fail(kNoBackupFolderKey);
    if (Status checked = CheckSetFolder(backupFolder, request.set); !checked.ok)
        return Answer::From(std::move(checked));
    RestoreSelection selection;
    selection.source = backupFolder / request.set / request.generationFolder / request.folder;
    if (!FolderExists(selection.source) ||
        !ReachedWithoutLinks(backupFolder / request.set,
                             std::filesystem::path(request.generationFolder) / request.folder))
        return Answer::Fail(kNotHereKey);

    if (request.names.empty()) {
        CollectArchives(selection.source, request.recursive, selection.archives);
    } else {
        for (const auto& name : request.names) {
            if (name.empty() || name.find('/') != std::string::npos || name == "..")
                return Answer::Fail(kNotHereKey);
            const auto zipped = selection.source / (name + ".zip");
            selection.archives.push_back(FileExists(zipped) ? zipped : selection.source / name);
        }
    }
    if (selection.archives.empty())
        return Answer::Fail(kNoFilesKey);
    return Answer::Ok(std::move(selection));
}

int RestoreSelectionMessage(const Status& status)
{
    return MessageOfKey(status,
                        {{kNotHereKey, backup_message::kCannotRestoreHere},
                         {kNoDriveKey, backup_message::kNoDrive},
                         {kNoBackupFolderKey, backup_message::kNoBackupFolder},
                         {kNoFilesKey, backup_message::kNoFilesSelected}},
                        SetFolderMessage(status));
}

}  // namespace halvex
