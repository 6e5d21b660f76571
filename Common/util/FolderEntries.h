#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>

namespace halvex {

// Calls `visit` with the open folder's descriptor and each name directly in
// `folder` ("." and ".." left out); `visit` may remove that name. Answers how
// many calls answered true; a folder that cannot be read has no names.
std::size_t CountFolderEntries(const std::filesystem::path& folder,
                               const std::function<bool(int folderFd, const char* name)>& visit);
// The same for a folder already open; `folderFd` stays open.
std::size_t CountFolderEntries(int folderFd, const std::function<bool(int folderFd, const char* name)>& visit);

}  // namespace halvex
