#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "copy/CopyBatch.h"
#include "util/Status.h"

namespace halvex {

// The Unix permission bits the package's entries carry, by entry name
// ("HalvexDravane.app/Contents/Linux/HalvexDravane"). Entries made elsewhere,
// or without bits, are not listed.
std::map<std::string, mode_t> ReadArchiveModes(const std::filesystem::path& archive);

// False only when both are regular files of the same size and modification time.
bool FileNeedsUpdate(const std::filesystem::path& source, const std::filesystem::path& target);

// Creates each missing folder of the path, from the root down; "update_fail"
// and the folder that could not be made.
[[nodiscard]] Status CreateFolder(const std::filesystem::path& path);

// Every entry (files and folders, at any depth) of the unpacked package.
std::size_t CountEntries(const std::filesystem::path& folder);

// The percentage text of a bar: (value - min) * 100 / (max - min), a negative
// difference counting as 0 and an empty range as 1; above 100 it wraps.
std::string UpdatePercentText(long long value, long long minimum, long long maximum);

struct InstallCallbacks {
    // After each entry is looked at, placed or not. Called on the installing thread.
    std::function<void()> step;
    // "Updated: <target>", and what a failure left for the next start to undo.
    std::function<void(const std::string& line)> log;
    // Asked before each change of the target folder; true abandons the
    // install right there, as a kill would, journal and all, and the result
    // is Cancelled (tests stop it at every point this way).
    std::function<bool()> stopBeforeChange;
    // Flushes the drive's file system: 0 or an errno. Asked once when every
    // new file is staged, before any target is swapped, and once when every
    // target is swapped, before the journal says done; a failure puts the
    // old files back. Unset: syncfs.
    FileSystemFlusher flush;
};

// Places the unpacked package over the folder that holds the suite's bundle,
// all or nothing: every regular file whose relative path has no part
// beginning with "." and that differs from the file on the drive by size or
// modification time. A journal in the target folder (see UpdateJournal.h)
// records the plan first; then every new file is written beside its target
// under a temporary name, and only when all are there are the targets
// swapped, the old files kept aside until the last new one is in place. The
// drive is flushed once for all the staged files before the first swap, and
// once more before the journal says done, never once a file. Any
// failure puts the old files back and removes the new ones; an install that
// an earlier run left unfinished is undone first. The placed file keeps the
// source's modification time and gets the package's mode when `modes` has
// one, else the mode of the file it replaces. A failure ("update_fail" and
// the file that could not be placed, with the system's reason) leaves the
// folder holding what it held before. Every target is reached from
// `targetFolder` one name at a time without following links: a package file
// whose way on the drive passes a link fails the install, naming the link,
// before anything is changed.
[[nodiscard]] Status InstallUnpackedUpdate(const std::filesystem::path& unpackFolder,
                                           const std::filesystem::path& targetFolder,
                                           const std::map<std::string, mode_t>& modes,
                                           const InstallCallbacks& callbacks);

}  // namespace halvex
