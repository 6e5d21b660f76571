#include "copy/FileMetadata.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>

namespace halvex {

namespace {

// Super block magic numbers of the volumes without Unix permissions.
constexpr unsigned long kMsdosMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011BAB0;
constexpr unsigned long kNtfsMagic = 0x5346544e;
constexpr unsigned long kFuseblkMagic = 0x65735546;  // ntfs-3g, exfat-fuse
constexpr unsigned long kCifsMagic = 0xFF534D42;
constexpr unsigned long kSmb2Magic = 0xFE534D42;

}  // namespace

bool KeepsUnixPermissions(int fd)
{
    struct statfs volume {};
    if (fstatfs(fd, &volume) != 0)
        return true;
    switch (static_cast<unsigned long>(volume.f_type)) {
    case kMsdosMagic:
    case kExfatMagic:
    case kNtfsMagic:
    case kFuseblkMagic:
    case kCifsMagic:
    case kSmb2Magic: return false;
    default: return true;
    }
}

int ApplyOwnerAndMode(int fd, const struct stat& source, bool keepMode, bool keepOwner)
{
    if (!keepMode && !keepOwner)
        return 0;
    if (!KeepsUnixPermissions(fd))
        return 0;
    if (keepOwner && geteuid() == 0) {
        if (fchown(fd, source.st_uid, source.st_gid) != 0)
            return errno;
    }
    if (keepMode) {
        if (fchmod(fd, source.st_mode & 07777) != 0)
            return errno;
    }
    return 0;
}

int ApplyTimes(int fd, const struct stat& source)
{
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return futimens(fd, times) == 0 ? 0 : errno;
}

int ApplyLinkOwnerAndTimes(const std::filesystem::path& link, const struct stat& source, bool keepOwner)
{
    if (keepOwner && geteuid() == 0) {
        if (fchownat(AT_FDCWD, link.c_str(), source.st_uid, source.st_gid, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (utimensat(AT_FDCWD, link.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        // Some volumes keep no times of a link; the link itself is there.
        if (errno == EOPNOTSUPP || errno == ENOTSUP)
            return 0;
        return errno;
    }
    return 0;
}

}  // namespace halvex
