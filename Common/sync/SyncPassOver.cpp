#include "sync/SyncPassOver.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace halvex {

namespace {

bool IsShortcut(std::string_view name)
{
    return name.size() >= 4 && name[name.size() - 4] == '.' && (name[name.size() - 3] | 0x20) == 'l' &&
           (name[name.size() - 2] | 0x20) == 'n' && (name[name.size() - 1] | 0x20) == 'k';
}

}  // namespace

bool SyncPassesOver(std::string_view name, FolderListing::Kind kind, std::uint32_t fatAttributes)
{
    using Kind = FolderListing::Kind;
    if (name.empty() || name.front() == '.')
        return true;
    if (kind != Kind::File && kind != Kind::Folder)
        return false;
    if (fatAttributes & ATTR_HIDDEN)
        return true;
    return kind == Kind::File && IsShortcut(name);
}

std::uint32_t FatAttributesAt(int folderFd, const char* name, bool isFolder)
{
    const int fd =
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (isFolder ? O_DIRECTORY : 0));
    if (fd < 0)
        return 0;
    std::uint32_t attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0)
        attributes = 0;
    ::close(fd);
    return attributes;
}

}  // namespace halvex
