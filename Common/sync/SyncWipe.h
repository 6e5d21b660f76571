#pragma once

#include <filesystem>

#include "sync/SyncControl.h"
#include "util/Status.h"

namespace halvex {

// The key of a wipe that left something behind; the detail names the first
// entry that stayed and the system's reason.
inline constexpr char kSyncWipeIncompleteKey[] = "sync_wipe_incomplete";

// Empties a folder of the pair before a sync refills it from the other side:
// every file and subfolder goes, the folder itself stays. Links are removed,
// never followed. Status::Cancelled() when the user stopped it; what was
// removed until then stays removed, and what could not be removed is skipped
// and named in the failure.
[[nodiscard]] Status WipeFolder(const std::filesystem::path& folder, const SyncControl& control);

}  // namespace halvex
