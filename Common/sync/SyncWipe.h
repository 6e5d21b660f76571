#pragma once

#include <filesystem>

#include "sync/SyncControl.h"

namespace halvex {

// Empties a folder of the pair before a sync refills it from the other side:
// every file and subfolder goes, the folder itself stays. Links are removed,
// never followed. Returns false when cancelled or when something could not be
// removed; what was removed until then stays removed.
[[nodiscard]] bool WipeFolder(const std::filesystem::path& folder, const SyncControl& control);

}  // namespace halvex
