#pragma once

#include <cstddef>
#include <filesystem>

namespace halvex {

// A copy that was killed, or whose drive was pulled, leaves its hidden
// temporary file behind (see CopyFileAtomic). A copy in progress holds an
// advisory lock on its temporary file for as long as the file may still be
// renamed into place; a file under the copy prefix that nobody holds locked
// is a leftover.

// Marks the open temporary copy as in use. Best effort: a volume without
// locks leaves the copy unmarked, and clean-ups then pass over nothing.
void MarkCopyInProgress(int fd);

// Removes the leftover temporary copies directly in `folder` (regular files
// under the copy prefix that no running copy holds). Nothing else is touched.
// Answers how many were removed.
std::size_t RemoveLeftoverCopies(const std::filesystem::path& folder);
// The same in a folder already open.
std::size_t RemoveLeftoverCopies(int folderFd);

}  // namespace halvex
