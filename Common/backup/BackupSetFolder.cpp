#include "backup/BackupSetFolder.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/BackupCategories.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupStrings.h"

namespace halvex {

namespace {

// Deeper trees than this are no backup set this suite wrote; the limit keeps
// the open descriptors bounded.
constexpr int kMaxDepth = 256;

// Absent, or a real folder (not a link to one).
bool AbsentOrRealFolder(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISDIR(st.st_mode);
}

// Removes everything in the open folder, then the folder itself from its
// parent. Keeps going past failures and answers the first errno (0: none).
int RemoveTree(int parent, const char* name, int depth)
{
    if (depth > kMaxDepth)
        return ELOOP;
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int first = 0;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        struct stat st {};
        int error = 0;
        if (::fstatat(fd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            error = errno;  // NOLINT(bugprone-branch-clone): each branch reads the errno of its own call
        else if (S_ISDIR(st.st_mode))
            error = RemoveTree(fd, child.c_str(), depth + 1);
        else if (::unlinkat(fd, child.c_str(), 0) != 0)
            error = errno;
        if (!first && error)
            first = error;
        errno = 0;
    }
    if (!first && errno)
        first = errno;
    ::closedir(dir);
    if (::unlinkat(parent, name, AT_REMOVEDIR) != 0 && !first)
        first = errno;
    return first;
}

}  // namespace

Status CheckSetFolder(const std::filesystem::path& backupFolder, const std::string& setName)
{
    if (!IsValidSetName(setName))
        return Status::Fail(kSetNameInvalidKey);
    if (!AbsentOrRealFolder(backupFolder) || !AbsentOrRealFolder(backupFolder / setName))
        return Status::Fail(kSetFolderLinkKey);
    return Status::Ok();
}

Status DeleteSetFolder(const std::filesystem::path& backupFolder, const std::string& setName)
{
    if (!IsValidSetName(setName))
        return Status::Fail(kSetNameInvalidKey);
    // The drive's mount is trusted; from there on nothing is followed.
    const auto driveRoot = backupFolder.parent_path();
    const int root = ::open(driveRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0)
        return Status::FailErrno(kSetFolderUndeletableKey, errno);
    const int backup = ::openat(root, backupFolder.filename().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openError = errno;
    ::close(root);
    if (backup < 0) {
        if (openError == ENOENT)
            return Status::Ok();
        return Status::FailErrno(
            openError == ELOOP || openError == ENOTDIR ? kSetFolderLinkKey : kSetFolderUndeletableKey, openError);
    }
    struct stat st {};
    Status result = Status::Ok();
    if (::fstatat(backup, setName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            result = Status::FailErrno(kSetFolderUndeletableKey, errno);
    } else if (!S_ISDIR(st.st_mode)) {
        result = Status::Fail(kSetFolderLinkKey);
    } else if (const int error = RemoveTree(backup, setName.c_str(), 0); error != 0) {
        result = Status::FailErrno(kSetFolderUndeletableKey, error);
    }
    ::close(backup);
    return result;
}

int SetFolderMessage(const Status& status)
{
    return MessageOfKey(
        status,
        {{kSetNameInvalidKey, backup_message::kDamagedProfile}, {kSetFolderLinkKey, backup_message::kSetFolderLink}},
        backup_message::kSetFolderUndeletable);
}

}  // namespace halvex
