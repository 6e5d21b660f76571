#pragma once

#include <filesystem>
#include <string_view>

namespace halvex {

// Whether an attribute travels with a copy: user.* always, the POSIX ACLs
// (system.posix_acl_*) always, trusted.* and security.* only for root, who
// alone may read and write them all.
bool IsCopiedAttribute(std::string_view name, bool privileged);

// Copies the attributes that travel from one open file or folder to another.
// Returns 0, or the errno of the failing call. A destination that keeps no
// extended attributes (ENOTSUP: FAT, exFAT, some network file systems) is not
// an error: the copy still has its data and times.
int CopyExtendedAttributes(int sourceFd, int destinationFd);

// The same for a symbolic link itself, by path, never following it.
int CopyLinkAttributes(const std::filesystem::path& source, const std::filesystem::path& destination);

}  // namespace halvex
