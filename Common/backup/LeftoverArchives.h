#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace halvex {

// Archives are written under a hidden temporary name, ".NAME.zip.partial-PID-N",
// and renamed into place when complete. A run that was killed, or whose drive
// was pulled, leaves such a file behind. It is a leftover once no process of
// that id runs any more; a name whose writer may still run is kept.
bool IsPartialArchiveName(std::string_view name);

// Removes the leftover partial archives directly in `folder`; nothing else
// is touched. Answers how many were removed.
std::size_t RemoveLeftoverArchives(const std::filesystem::path& folder);

}  // namespace halvex
