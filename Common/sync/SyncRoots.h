#pragma once

#include <filesystem>

#include "util/DescriptorPath.h"

namespace halvex {

// Opens a folder of the pair. The drive folder is taken only as itself: a
// link in its place (the drive's content can be anything) is refused with
// ELOOP. -1 with errno set on failure.
int OpenSyncRoot(const std::filesystem::path& folder, bool refuseLink);

}  // namespace halvex
