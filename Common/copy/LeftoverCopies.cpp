#include "copy/LeftoverCopies.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "copy/FileDescriptor.h"
#include "copy/TemporaryName.h"
#include "util/FolderEntries.h"

namespace halvex {

void MarkCopyInProgress(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EINTR) {
    }
}

namespace {

bool RemoveIfLeftover(int folderFd, const char* name)
{
    if (!IsTemporaryCopyName(name))
        return false;
    // O_NONBLOCK: a FIFO under our prefix must not hang the run.
    FileDescriptor fd(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // A lock we get is one no running copy holds; keeping it until the
    // name is gone stops another clean-up from racing this one.
    return ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && ::unlinkat(folderFd, name, 0) == 0;
}

}  // namespace

std::size_t RemoveLeftoverCopies(const std::filesystem::path& folder)
{
    return CountFolderEntries(folder, RemoveIfLeftover);
}

std::size_t RemoveLeftoverCopies(int folderFd)
{
    return CountFolderEntries(folderFd, RemoveIfLeftover);
}

}  // namespace halvex
