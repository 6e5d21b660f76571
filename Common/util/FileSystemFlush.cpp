#include "util/FileSystemFlush.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace halvex {

FileSystemFlush FlushFileSystem(int folderFd)
{
    FileSystemFlush flush;
    if (::syncfs(folderFd) != 0)
        flush.error = errno;
    struct statvfs space {};
    flush.answers = ::fstatvfs(folderFd, &space) == 0;
    return flush;
}

int FlushDriveAt(int folderFd)
{
    const FileSystemFlush flush = FlushFileSystem(folderFd);
    if (!flush.answers)
        return flush.error != 0 ? flush.error : EIO;
    return flush.error == EINVAL || flush.error == ENOSYS || flush.error == ENOTSUP ? 0 : flush.error;
}

}  // namespace halvex
