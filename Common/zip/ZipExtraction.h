#pragma once

#include <filesystem>

#include "util/Status.h"

namespace halvex {

// Extracts every entry of a zip archive into `folder` (created when
// missing), overwriting files of the same names without asking. File modes
// of archives made on Unix are kept (without set-id bits) so programs stay
// executable; modification times are restored.
// Every name is checked first (see IsSafeEntryName): an archive with one
// entry that is absolute or climbs out with ".." is refused whole and nothing
// is written. A folder on the way that is a symbolic link is refused too, so
// an existing link cannot carry an entry outside.
Status ExtractZipArchive(const std::filesystem::path& archive, const std::filesystem::path& folder);

}  // namespace halvex
