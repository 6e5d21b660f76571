#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "copy/FileDescriptor.h"
#include "util/Result.h"

namespace halvex {

// Paths below a folder the caller opened (a drive's top), walked one name at
// a time by descriptor, never through a link: what a drive holds decides
// nothing about where on the computer a step lands.

enum class MissingFolders { Fail, Create };

// Opens the folder `relative` (plain names) below the open folder `rootFd`
// one name at a time, never through a link: a link or a file in the way
// fails with ELOOP or ENOTDIR. With Create, missing folders are made and
// `created` is set. -1 with errno set on failure.
int OpenFolderBelow(int rootFd, const std::filesystem::path& relative, MissingFolders missing, bool& created);

// The folder that holds an entry below an open folder, and the entry's name.
struct EntryBelow {
    FileDescriptor folder;
    std::string name;
};

// Opens the folder of `relative` ('/'-separated plain names) below `rootFd`
// as OpenFolderBelow does. A failure carries `key`, ELOOP when a part of the
// way is a link, and a detail that names the path as `shownRoot`/`relative`
// and the part that stopped the walk.
Result<EntryBelow> OpenEntryBelow(int rootFd, std::string_view relative, MissingFolders missing,
                                  const std::filesystem::path& shownRoot, const std::string& key);

// True when the name in the open folder is a symbolic link.
bool IsLinkAt(int folderFd, const char* name);

}  // namespace halvex
