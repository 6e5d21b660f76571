#pragma once

#include <filesystem>

#include "util/Status.h"

namespace halvex {

// Why a set's original folder is not restored into.
inline constexpr const char* kOriginalNotAbsoluteKey = "restore_original_not_absolute";
inline constexpr const char* kOriginalOutsideHomeKey = "restore_original_outside_home";
inline constexpr const char* kOriginalHiddenKey = "restore_original_hidden";

// The original folder a set's information file names comes from the drive,
// which anyone may have written: a restore takes it only when it is an
// absolute, plain path (no "." or ".."), lies in the user's home (or is it)
// and no folder of it below the home is hidden (a name starting with '.',
// where programs keep what runs at the next log-in). Other folders are
// restored into only when the user names them as the destination.
Status CheckOriginalFolder(const std::filesystem::path& folder, const std::filesystem::path& home);

}  // namespace halvex
