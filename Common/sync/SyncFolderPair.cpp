#include "sync/SyncFolderPair.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "plist/DXPlistPrefs.h"
#include "strings/KXStrings.h"
#include "util/FolderSize.h"

namespace halvex {

namespace fs = std::filesystem;

namespace {

// The English name, for a table whose value cannot name a folder.
constexpr char kFallbackDriveFolderName[] = "Sync Folder";

// Past this many set-aside folders the rename is left to fail.
constexpr int kMaxAsideNumber = 100000;

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool Contains(const fs::path& outer, const fs::path& inner)
{
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end() && !o->empty(); ++o, ++i)
        if (i == inner.end() || *o != *i)
            return false;
    return true;
}

fs::path Canonical(const fs::path& p)
{
    std::error_code ec;
    fs::path c = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : c;
}

}  // namespace

std::string SyncUsbFolderName()
{
    const std::string name = KXStrings::GetString("sync_folder_usb");
    return IsPlainName(name) ? name : kFallbackDriveFolderName;
}

fs::path SyncUsbPath(const fs::path& runPath)
{
    return runPath / SyncUsbFolderName();
}

fs::path SyncIndexPath(const fs::path& dataPath)
{
    return dataPath / kSyncIndexFileName;
}

std::string ReadComputerFolder(const fs::path& indexPath, std::string_view computerKey)
{
    DXPlistPrefs index(indexPath);
    std::string folder;
    index.GetValue(computerKey, folder, "");
    // Only a full path is a choice; anything else is treated as none.
    return fs::path(folder).is_absolute() ? folder : std::string();
}

Status WriteComputerFolder(const fs::path& indexPath, std::string_view computerKey, const fs::path& folder)
{
    if (folder.native().size() > DXPlistPrefs::kMaxTextBytes)
        return Status::Fail("sync_browse_bad_folder", "path too long for the sync index file");
    DXPlistPrefs index;
    index.SetFilePath(indexPath);
    // An unreadable index is moved aside by Load, keeping the other
    // computers' entries for the user; one that could not be moved is not
    // written over.
    if (!index.Load() && index.WasDamaged()) {
        std::error_code ec;
        if (fs::file_size(indexPath, ec) > 0 && !ec)
            return Status::FailErrno("sync_folder_rename_err", indexPath, EROFS);
    }
    index.SetValue(computerKey, folder.string());
    if (const Status written = index.Update(); !written)
        return written.As("err_create_sync_folder_usb");
    return Status::Ok();
}

Status CheckBrowsedFolder(const fs::path& folder, const fs::path& driveFolder, const SyncDriveProbe& probe)
{
    struct stat st {};
    if (!folder.is_absolute() || ::stat(folder.c_str(), &st) != 0)
        return Status::FailErrno("sync_browse_bad_folder", errno ? errno : ENOENT);
    if (!S_ISDIR(st.st_mode))
        return Status::FailErrno("sync_browse_bad_folder", ENOTDIR);
    if (probe.isRemovable && probe.isRemovable(folder))
        return Status::Fail("sync_browse_bad_folder", "removable drive");
    // A folder holding the drive folder, or inside it, would copy the sync
    // folder into itself.
    const fs::path a = Canonical(folder);
    const fs::path b = Canonical(driveFolder);
    if (Contains(a, b) || Contains(b, a))
        return Status::Fail("sync_browse_bad_folder", "holds or lies in the drive's sync folder");
    struct statvfs vfs {};
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0 ||
        (::statvfs(folder.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)))
        return Status::FailErrno("sync_browse_folder_locked", EACCES);
    return Status::Ok();
}

bool ConfirmFolderSize(const fs::path& folder, const SyncDriveProbe& probe, SyncCallback& callback)
{
    if (!probe.driveFreeBytes)
        return true;
    const std::optional<std::uint64_t> free = probe.driveFreeBytes();
    if (!free)
        return true;
    if (FolderSize(folder) <= *free)
        return true;
    std::string name = fs::path(folder).lexically_normal().filename().string();
    if (name.empty())
        name = folder.lexically_normal().parent_path().filename().string();
    return callback.Ask(KXStrings::Format("sync_folder_big", name, name), MessageIcon::Warning, false) == Answer::Yes;
}

std::optional<SyncFolderPair> GetFolderInfo(const SyncPlace& place, SyncCallback& callback, const SyncDriveProbe& probe)
{
    SyncFolderPair pair;
    pair.drive = SyncUsbPath(place.runPath);
    struct stat st {};
    if (::stat(pair.drive.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (::mkdir(pair.drive.c_str(), 0755) != 0) {
            callback.ShowMessage(KXStrings::GetString("err_create_sync_folder_usb"), MessageIcon::Error);
            return std::nullopt;
        }
    }
    const fs::path indexPath = SyncIndexPath(place.dataPath);
    const std::string stored = ReadComputerFolder(indexPath, place.computerKey);
    if (!stored.empty()) {
        if (::stat(stored.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            // The index lies on the drive, which anyone may have written.
            const Status check = CheckBrowsedFolder(stored, pair.drive, probe);
            if (check) {
                // Anyone can edit the index: a folder this user did not
                // choose on this computer is shown and asked about first.
                Answer answer = Answer::Yes;
                if (probe.chosenHere && !probe.chosenHere(stored)) {
                    answer = callback.Ask(KXStrings::Format("sync_stored_folder_confirm", stored), MessageIcon::Warning,
                                          false);
                    if (answer == Answer::Abandon)
                        return std::nullopt;
                    if (answer == Answer::Yes && probe.recordChoice)
                        probe.recordChoice(stored);
                }
                if (answer == Answer::Yes) {
                    pair.computer = stored;
                    return pair;
                }
            } else {
                callback.ShowMessage(
                    KXStrings::Format("sync_stored_folder_bad", stored, KXStrings::GetString(check.messageKey)),
                    MessageIcon::Warning);
            }
        } else if (callback.Ask(KXStrings::GetString("sync_folder_gone"), MessageIcon::Warning, true) != Answer::Yes) {
            return std::nullopt;
        }
    }
    const std::optional<fs::path> chosen = callback.ChooseFolder();
    if (!chosen)
        return std::nullopt;
    pair.computer = *chosen;
    if (probe.recordChoice)
        probe.recordChoice(pair.computer);
    const Status saved = WriteComputerFolder(indexPath, place.computerKey, pair.computer);
    if (!saved)
        callback.ShowMessage(KXStrings::GetString(saved.messageKey), MessageIcon::Error);
    return pair;
}

fs::path FirstFreeAsideName(const fs::path& driveFolder, int& n)
{
    // The name is "%s_Old%d" of the path and the number, built here directly:
    // it is a file name, not a text for the user.
    for (n = 1;; ++n) {
        fs::path candidate = driveFolder.string() + "_Old" + std::to_string(n);
        struct stat st {};
        if ((::lstat(candidate.c_str(), &st) != 0 && errno == ENOENT) || n == kMaxAsideNumber)
            return candidate;
    }
}

FolderChange SetSyncFolder(const SyncPlace& place, const fs::path& folder, SyncCallback& callback, StoredFolder stored)
{
    const fs::path indexPath = SyncIndexPath(place.dataPath);
    if (stored == StoredFolder::Compare && fs::path(ReadComputerFolder(indexPath, place.computerKey)) == folder)
        return FolderChange::Unchanged;

    const fs::path driveFolder = SyncUsbPath(place.runPath);
    if (FolderSize(driveFolder) > 0) {
        const Answer answer = callback.Ask(KXStrings::GetString("sync_folder_ask_rename"), MessageIcon::Warning, true);
        if (answer == Answer::Abandon)
            return FolderChange::Abandoned;
        if (answer == Answer::Yes) {
            int n = 0;
            bool moved = false;
            // RENAME_NOREPLACE: a folder of that name that appears meanwhile
            // must not be replaced; try the next number.
            for (int tries = 0; tries < 100 && !moved; ++tries) {
                const fs::path aside = FirstFreeAsideName(driveFolder, n);
                if (::renameat2(AT_FDCWD, driveFolder.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
                    moved = true;
                else if (errno != EEXIST)
                    break;
            }
            if (!moved) {
                callback.ShowMessage(KXStrings::GetString("sync_folder_rename_err"), MessageIcon::Error);
                return FolderChange::Abandoned;
            }
            if (::mkdir(driveFolder.c_str(), 0755) != 0)
                callback.ShowMessage(KXStrings::GetString("err_create_sync_folder_usb"), MessageIcon::Error);
            else
                callback.ShowMessage(
                    KXStrings::Format("sync_folder_rename_done", SyncUsbFolderName() + "_Old" + std::to_string(n)),
                    MessageIcon::Information);
        }
    }
    const Status saved = WriteComputerFolder(indexPath, place.computerKey, folder);
    if (!saved) {
        callback.ShowMessage(KXStrings::GetString(saved.messageKey), MessageIcon::Error);
        return FolderChange::Abandoned;
    }
    return FolderChange::Stored;
}

}  // namespace halvex
