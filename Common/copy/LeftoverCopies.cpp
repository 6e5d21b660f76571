#include "copy/LeftoverCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "copy/FileDescriptor.h"
#include "copy/TemporaryName.h"

namespace halvex {

void MarkCopyInProgress(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EINTR) {
    }
}

std::size_t RemoveLeftoverCopies(const std::filesystem::path& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryCopyName(entry->d_name))
            continue;
        // O_NONBLOCK: a FIFO under our prefix must not hang the run.
        FileDescriptor fd(
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat info {};
        if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        // A lock we get is one no running copy holds; keeping it until the
        // name is gone stops another clean-up from racing this one.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace halvex
