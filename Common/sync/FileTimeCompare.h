#pragma once

#include <cstdint>
#include <filesystem>

namespace halvex {

// Two modification times within this many whole seconds count as the same:
// FAT keeps times in steps of two seconds.
inline constexpr std::int64_t kSyncTimeTolerance = 2;

// 1 when the source is newer, -1 when the target is newer, 0 when they count as
// the same. A time that could not be read loses to one that could; two
// unreadable times are the same.
int CompareTimes(bool sourceKnown, std::int64_t sourceSeconds, bool targetKnown, std::int64_t targetSeconds);

// Whether two times differ by a whole number of quarter hours, up to 14
// hours, within the tolerance: what a FAT drive's local times look like on a
// computer that reads them in another time zone.
bool IsTimeZoneShift(std::int64_t a, std::int64_t b);

// Whether two open folders' regular files have the same bytes, read to
// their end; false when either cannot be read.
bool SameContents(int folderA, const char* nameA, int folderB, const char* nameB);

// The same for two files by path, at whole-second resolution.
int CompareFileTimes(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace halvex
