#include "copy/TreeCopier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "copy/ExtendedAttributes.h"
#include "copy/FileDescriptor.h"
#include "copy/FileMetadata.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

// Deeper than any real tree; a loop of bind mounts would otherwise never end.
constexpr int kMaximumParentWalk = 100000;
constexpr std::size_t kMaximumLinkTarget = 65536;

class TreeCopy {
public:
    explicit TreeCopy(const TreeCopyOptions& options) : m_options(options) {}

    Status Run(const fs::path& source, const fs::path& destinationFolder);

private:
    bool Cancelled() const
    {
        while (IsSet(m_options.pause) && !IsSet(m_options.cancel))
            usleep(20000);
        return IsSet(m_options.cancel);
    }
    static bool IsSet(const std::atomic<bool>* flag)
    {
        return flag != nullptr && flag->load(std::memory_order_relaxed);
    }

    bool Fail(int error, const fs::path& at)
    {
        m_status = Status::FailErrno(kCopyFailedKey, at, error);
        return false;
    }
    bool Stop()
    {
        m_status = Status::Cancelled();
        return false;
    }

    bool CopyItem(const fs::path& source, const struct stat& info, const fs::path& target);
    bool CopyFile(const fs::path& source, const fs::path& target);
    bool CopyLink(const fs::path& source, const struct stat& info, const fs::path& target);
    bool CopySpecial(const fs::path& source, const struct stat& info, const fs::path& target);
    bool CopyFolder(const fs::path& source, const struct stat& info, const fs::path& target);
    bool FinishFolder(const fs::path& source, const struct stat& info, const fs::path& target);

    const TreeCopyOptions& m_options;
    Status m_status;
};

// The name the copy takes: the source's last component, also for "dir/",
// "." and "..".
fs::path NameOf(const fs::path& source)
{
    fs::path name = source.filename();
    if (name.empty() && source.has_parent_path())
        name = source.parent_path().filename();
    if (name.empty() || name == "." || name == "..") {
        std::error_code error;
        name = fs::weakly_canonical(source, error).filename();
    }
    return name;
}

int ListNames(const fs::path& folder, std::vector<std::string>& names)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return errno;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    // A stable order makes a stopped copy predictable to look at.
    std::sort(names.begin(), names.end());
    return error;
}

Status TreeCopy::Run(const fs::path& source, const fs::path& destinationFolder)
{
    struct stat info {};
    if (::lstat(source.c_str(), &info) != 0) {
        Fail(errno, source);
        return m_status;
    }
    struct stat folderInfo {};
    if (::stat(destinationFolder.c_str(), &folderInfo) != 0) {
        Fail(errno, destinationFolder);
        return m_status;
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        Fail(ENOTDIR, destinationFolder);
        return m_status;
    }
    const fs::path name = NameOf(source);
    if (name.empty()) {
        Fail(EINVAL, source);
        return m_status;
    }
    if (S_ISDIR(info.st_mode)) {
        // Refused also when the walk cannot be finished: copying a folder
        // into itself would not end until the path grew too long.
        const std::optional<bool> inside = IsSameOrBelow(destinationFolder, info);
        if (!inside) {
            Fail(errno, destinationFolder);
            return m_status;
        }
        if (*inside)
            return Status::FailErrno(kCopyIntoItselfKey, destinationFolder, EINVAL);
    }
    CopyItem(source, info, destinationFolder / name);
    return m_status;
}

bool TreeCopy::CopyItem(const fs::path& source, const struct stat& info, const fs::path& target)
{
    if (Cancelled())
        return Stop();
    // Only a look at the one name: a drop folder may not be listed.
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0)
        return Fail(EEXIST, target);
    if (errno != ENOENT)
        return Fail(errno, target);

    if (S_ISREG(info.st_mode))
        return CopyFile(source, target);
    if (S_ISLNK(info.st_mode))
        return CopyLink(source, info, target);
    if (S_ISDIR(info.st_mode))
        return CopyFolder(source, info, target);
    return CopySpecial(source, info, target);
}

bool TreeCopy::CopyFile(const fs::path& source, const fs::path& target)
{
    CopyOptions options;
    options.keepTimes = true;
    options.keepMode = true;
    options.keepOwner = true;
    options.keepAttributes = true;
    options.cancel = m_options.cancel;
    options.pause = m_options.pause;
    options.replace = false;
    options.durable = m_options.durable;
    const Status copied = CopyFileAtomic(source, target, options);
    if (copied.cancelled())
        return Stop();
    if (!copied.ok)
        return Fail(copied.systemError, source);
    return true;
}

bool TreeCopy::CopyLink(const fs::path& source, const struct stat& info, const fs::path& target)
{
    // The size lstat reports may be wrong (some volumes give 0); grow until it fits.
    std::string linkTarget(std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 256), '\0');
    for (;;) {
        const ssize_t length = ::readlink(source.c_str(), linkTarget.data(), linkTarget.size());
        if (length < 0)
            return Fail(errno, source);
        if (static_cast<std::size_t>(length) < linkTarget.size()) {
            linkTarget.resize(static_cast<std::size_t>(length));
            break;
        }
        if (linkTarget.size() >= kMaximumLinkTarget)
            return Fail(ENAMETOOLONG, source);
        linkTarget.resize(linkTarget.size() * 2);
    }
    if (::symlink(linkTarget.c_str(), target.c_str()) != 0)
        return Fail(errno, target);
    int error = CopyLinkAttributes(source, target);
    if (error == 0)
        error = ApplyLinkOwnerAndTimes(target, info, true);
    if (error != 0) {
        ::unlink(target.c_str());
        return Fail(error, source);
    }
    return true;
}

bool TreeCopy::CopySpecial(const fs::path& source, const struct stat& info, const fs::path& target)
{
    // Pipes and sockets as names; device nodes only where we may make them (root).
    if (::mknod(target.c_str(), (info.st_mode & S_IFMT) | 0600, info.st_rdev) != 0)
        return Fail(errno, target);
    int error = CopyLinkAttributes(source, target);
    if (error == 0 && geteuid() == 0 &&
        ::fchownat(AT_FDCWD, target.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error == 0 && ::chmod(target.c_str(), info.st_mode & 07777) != 0)
        error = errno;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (error == 0 && ::utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(target.c_str());
        return Fail(error, source);
    }
    return true;
}

bool TreeCopy::CopyFolder(const fs::path& source, const struct stat& info, const fs::path& target)
{
    std::vector<std::string> names;
    if (int error = ListNames(source, names))
        return Fail(error, source);
    // Ours alone while it is filled; its own mode comes at the end.
    if (::mkdir(target.c_str(), 0700) != 0)
        return Fail(errno, target);
    for (const std::string& name : names) {
        const fs::path child = source / name;
        struct stat childInfo {};
        if (::lstat(child.c_str(), &childInfo) != 0) {
            if (errno == ENOENT)
                continue;  // gone since the folder was read
            return Fail(errno, child);
        }
        if (!CopyItem(child, childInfo, target / name))
            return false;
    }
    return FinishFolder(source, info, target);
}

bool TreeCopy::FinishFolder(const fs::path& source, const struct stat& info, const fs::path& target)
{
    FileDescriptor from(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!from.IsOpen())
        return Fail(errno, source);
    // A drop folder's own subfolder is ours, so it can be opened even when
    // the folder above cannot be read.
    FileDescriptor to(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!to.IsOpen())
        return Fail(errno, target);
    int error = ApplyOwnerAndMode(to.Get(), info, false, true);
    if (error == 0)
        error = CopyExtendedAttributes(from.Get(), to.Get());
    if (error == 0)
        error = ApplyOwnerAndMode(to.Get(), info, true, false);
    if (error == 0)
        error = ApplyTimes(to.Get(), info);
    return error == 0 ? true : Fail(error, target);
}

}  // namespace

std::optional<bool> IsSameOrBelow(const fs::path& folder, const struct stat& item)
{
    FileDescriptor current(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current.IsOpen())
        return std::nullopt;
    for (int step = 0; step < kMaximumParentWalk; ++step) {
        struct stat here {};
        if (::fstat(current.Get(), &here) != 0)
            return std::nullopt;
        if (here.st_dev == item.st_dev && here.st_ino == item.st_ino)
            return true;
        FileDescriptor parent(::openat(current.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!parent.IsOpen())
            return std::nullopt;
        struct stat above {};
        if (::fstat(parent.Get(), &above) != 0)
            return std::nullopt;
        if (above.st_dev == here.st_dev && above.st_ino == here.st_ino)
            return false;  // the root is its own parent
        current = std::move(parent);
    }
    errno = ELOOP;
    return std::nullopt;
}

Status CopyIntoFolder(const fs::path& source, const fs::path& destinationFolder, const TreeCopyOptions& options)
{
    return TreeCopy(options).Run(source, destinationFolder);
}

}  // namespace halvex
