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

}  // namespace halvex
