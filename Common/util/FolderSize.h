#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>

namespace halvex {

// Bytes in the regular files of `folder` and all its sub-folders; links are
// not followed, unreadable sub-folders are skipped. 0 when the folder cannot
// be read or `cancel` was set. 64-bit: a size check against a drive's free
// space must not see 10 GiB as under 4.
std::uint64_t FolderSize(const std::filesystem::path& folder, const std::atomic<bool>* cancel = nullptr);

}  // namespace halvex
