#pragma once

#include <filesystem>
#include <memory>

#include "sync/SyncControl.h"
#include "util/Status.h"
#include "util/Trash.h"

namespace halvex {

// The key of a wipe that left something behind; the detail names the first
// entry that stayed and the system's reason.
inline constexpr char kSyncWipeIncompleteKey[] = "sync_wipe_incomplete";

// Empties a folder of the pair before a sync refills it from the other side:
// every file and subfolder goes to the trash, whole, the folder itself stays.
// Links are moved, never followed. Status::Cancelled() when the user stopped
// it; what was moved until then stays in the trash, and what could not be
// moved stays where it is and is named in the failure.
[[nodiscard]] Status WipeFolder(const std::filesystem::path& folder, const SyncControl& control,
                                const std::shared_ptr<Trash>& trash = SystemTrash());

}  // namespace halvex
