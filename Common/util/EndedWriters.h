#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string_view>

// Files written under a temporary name that carries the writer's process id
// are leftovers once that process has ended: a run that was killed, or whose
// drive was pulled, left them. These pieces find and remove them.
namespace halvex {

// The process id at the front of `text` when the text is exactly `groups`
// groups of decimal digits joined by '-' ("4242-7" is two groups), else 0.
pid_t WriterPid(std::string_view text, int groups);

// True when no process of that id runs any more. This process never counts
// as ended.
bool WriterEnded(pid_t pid);

// Removes the regular files directly in `folder` whose names `writerOf` maps
// to a writer that has ended (0: not such a name). Nothing else is touched.
// Answers how many were removed.
std::size_t RemoveFilesOfEndedWriters(const std::filesystem::path& folder,
                                      const std::function<pid_t(std::string_view)>& writerOf);

}  // namespace halvex
