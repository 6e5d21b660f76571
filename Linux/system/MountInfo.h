#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/Result.h"

namespace halvex {

// One line of /proc/self/mountinfo, with the kernel's octal escapes (\040 for
// a blank, \011, \012, \134) decoded.
struct MountEntry {
    std::string majorMinor;            // "8:17"
    std::filesystem::path mountPoint;  // absolute
    std::string fsType;                // "vfat", "ext4", "tmpfs", "fuse.sshfs"
    std::string source;                // "/dev/sdb1", "server:/export", "tmpfs"
};

// Limits that keep a damaged or hostile mountinfo from costing more than a
// bounded amount of memory and time.
inline constexpr std::size_t kMountInfoMaxBytes = std::size_t{16} * 1024 * 1024;
inline constexpr std::size_t kMountInfoMaxLine = std::size_t{64} * 1024;
inline constexpr std::size_t kMountInfoMaxEntries = 100000u;

// "\040" -> " "; a backslash not followed by three octal digits of a byte
// value stays as it is.
std::string DecodeMountField(std::string_view field);

// Lines that do not have the mountinfo shape are skipped; never throws.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mount table could not be read; the detail names it and the reason.
inline constexpr const char* kMountTableErrorKey = "err_mount_table";

// Reads at most kMountInfoMaxBytes of the file; kMountTableErrorKey when it
// cannot be opened or read.
Result<std::vector<MountEntry>> ReadMountInfo(const std::filesystem::path& file);

// The entry whose mount point is the longest component-wise prefix of the
// absolute path; of equal mount points the later one (mounted on top) wins.
// nullptr when none matches.
const MountEntry* FindMountFor(const std::vector<MountEntry>& entries, const std::filesystem::path& path);

// True for file systems that live on another computer.
bool IsNetworkFileSystem(std::string_view fsType);

}  // namespace halvex
