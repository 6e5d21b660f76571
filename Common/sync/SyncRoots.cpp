#include "sync/SyncRoots.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace halvex {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

}  // namespace

int OpenSyncRoot(const std::filesystem::path& folder, bool refuseLink)
{
    if (!refuseLink || !folder.has_parent_path() || !folder.has_filename())
        return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int parent = ::open(folder.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return -1;
    const int fd = ::openat(parent, folder.filename().c_str(), kFolderFlags);
    const int error = errno;
    ::close(parent);
    errno = error;
    return fd;
}

int OpenFolderBelow(int rootFd, const std::filesystem::path& relative, MissingFolders missing, bool& created)
{
    int fd = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    for (const std::filesystem::path& part : relative) {
        if (fd < 0)
            return -1;
        const std::string& name = part.native();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        int next = ::openat(fd, name.c_str(), kFolderFlags);
        if (next < 0 && errno == ENOENT && missing == MissingFolders::Create) {
            if (::mkdirat(fd, name.c_str(), 0777) == 0 || errno == EEXIST) {
                created = true;
                next = ::openat(fd, name.c_str(), kFolderFlags);
            }
        }
        const int error = errno;
        ::close(fd);
        errno = error;
        fd = next;
    }
    return fd;
}

}  // namespace halvex
