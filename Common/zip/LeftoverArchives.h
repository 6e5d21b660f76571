#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
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

// A restore extracts a file under ".NAME.restore-PID-N" beside it. Removes
// those of `name` in `folder` whose writer has ended: only the suite's own
// names for the file about to be restored, in a folder that is the user's.
std::size_t RemoveLeftoverRestores(const std::filesystem::path& folder, std::string_view name);

// The same temporaries of a whole folder, by the name of the file each was
// for, read once: a restore of many files into one folder removes those of
// each file it restores from this list instead of reading the folder again.
std::multimap<std::string, std::string> LeftoverRestoresByName(const std::filesystem::path& folder);

}  // namespace halvex
