#pragma once

#include <filesystem>

namespace halvex {

// Opens a folder of the pair. The drive folder is taken only as itself: a
// link in its place (the drive's content can be anything) is refused with
// ELOOP. -1 with errno set on failure.
int OpenSyncRoot(const std::filesystem::path& folder, bool refuseLink);

enum class MissingFolders { Fail, Create };

// Opens the folder `relative` (plain names) below the open folder `rootFd`
// one name at a time, never through a link: a link or a file in the way
// fails with ELOOP or ENOTDIR. With Create, missing folders are made and
// `created` is set. -1 with errno set on failure.
int OpenFolderBelow(int rootFd, const std::filesystem::path& relative, MissingFolders missing, bool& created);

}  // namespace halvex
