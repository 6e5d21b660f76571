#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace halvex {

// The Unix permission bits the package's entries carry, by entry name
// ("HalvexDravane.app/Contents/Linux/HalvexDravane"). Entries made elsewhere,
// or without bits, are not listed.
std::map<std::string, mode_t> ReadArchiveModes(const std::filesystem::path& archive);

// False only when both are regular files of the same size and modification time.
bool FileNeedsUpdate(const std::filesystem::path& source, const std::filesystem::path& target);

// Creates each missing folder of the path, from the root down.
bool CreateFolder(const std::filesystem::path& path);

// Every entry (files and folders, at any depth) of the unpacked package.
std::size_t CountEntries(const std::filesystem::path& folder);

// The percentage text of a bar: (value - min) * 100 / (max - min), a negative
// difference counting as 0 and an empty range as 1; above 100 it wraps.
std::string UpdatePercentText(long long value, long long minimum, long long maximum);

struct InstallCallbacks {
    // After each entry is looked at, placed or not. Called on the installing thread.
    std::function<void()> step;
    // "Updated: <target>" and "Update Failed: <target>".
    std::function<void(const std::string& line)> log;
};

// Places the unpacked package over the folder that holds the suite's bundle:
// every regular file whose relative path has no part beginning with "." and
// that differs from the file on the drive by size or modification time. A
// file replaces the old one by rename where the two share a file system, else
// by a copy that is renamed into place when complete, so a failure leaves the
// old file whole; temporary copies a killed earlier run left in a folder are
// removed before the first file is placed there. The placed file keeps the source's modification time and
// gets the package's mode when `modes` has one, else the mode of the file it
// replaces. Stops at the first file that cannot be placed; false then.
bool InstallUnpackedUpdate(const std::filesystem::path& unpackFolder, const std::filesystem::path& targetFolder,
                           const std::map<std::string, mode_t>& modes, const InstallCallbacks& callbacks);

}  // namespace halvex
