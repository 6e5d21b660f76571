#pragma once

#include <filesystem>
#include <string_view>

#include "util/Status.h"

namespace halvex {

// Writes `data` to a new hidden file in the target's folder, flushes it to
// the device and renames it over the target, so that a pulled drive, a full
// disk or a crash leaves either the old file or the new one, never a
// truncated mix. A link is followed: the file it names is replaced. The
// replaced file's permission bits are kept. A failure ("file_save_err", the
// file and the system's reason) leaves the target untouched and no temporary
// file behind. Temporaries of this file
// that a killed or cut-off earlier write left behind are removed first.
Status WriteFileAtomic(const std::filesystem::path& target, std::string_view data);

// The same for a file only its owner may read: the new file gets exactly
// `mode` (0600), whatever the umask or the replaced file's bits were, so it
// is never readable by others, not even for a moment.
Status WriteFileAtomic(const std::filesystem::path& target, std::string_view data, std::filesystem::perms mode);

// Removes a symbolic link standing where `target` belongs, so that the write
// that follows replaces the link instead of writing through it: a link on the
// drive must not lead a write onto the computer. Anything else is left alone.
Status RemoveLinkInPlace(const std::filesystem::path& target);

}  // namespace halvex
