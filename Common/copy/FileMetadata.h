#pragma once

#include <sys/stat.h>

#include <filesystem>

namespace halvex {

// False for volumes that keep no Unix owner and permissions of their own (FAT,
// exFAT, NTFS, SMB): their driver refuses or ignores chmod and chown, and a
// copy onto a flash drive must not fail for that.
bool KeepsUnixPermissions(int fd);

// Owner and group when running as root, then the permission bits. The owner
// goes first because changing it clears the set-id bits. Returns 0 or errno.
int ApplyOwnerAndMode(int fd, const struct stat& source, bool keepMode, bool keepOwner);

// Access and modification times to the nanosecond. Returns 0 or errno.
int ApplyTimes(int fd, const struct stat& source);

// The same for a symbolic link itself (owner and times; a link has no mode).
int ApplyLinkOwnerAndTimes(const std::filesystem::path& link, const struct stat& source, bool keepOwner);

}  // namespace halvex
