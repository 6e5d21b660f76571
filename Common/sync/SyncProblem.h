#pragma once

#include <string>

struct ItemData;

namespace halvex {

// The reasons a scan row is reported instead of copied (string-table keys).
// The names FAT cannot hold use the keys of FatNameProblem.
inline constexpr char kProblemNameClash[] = "sync_name_clash";  // %s and %s: the two names
inline constexpr char kProblemLink[] = "sync_link_skipped";
inline constexpr char kProblemKindDiffers[] = "sync_kind_differs";
inline constexpr char kProblemUnreadable[] = "sync_folder_unreadable";  // %s: the system's error
inline constexpr char kProblemChanged[] = "sync_changed_during";

// The localised text of a row's problem, or of a failed copy's reason.
std::string SyncProblemText(const ItemData& row);

}  // namespace halvex
