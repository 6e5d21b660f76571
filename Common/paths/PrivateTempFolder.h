#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "util/Result.h"

namespace halvex {

// Where the environment says temporary files go.
struct TempFolderSources {
    std::string runtimeDir;  // $XDG_RUNTIME_DIR, empty when unset
    std::string tmpDir;      // $TMPDIR, empty when unset
    uid_t uid = 0;           // whose folder it must be
};

// The sources of this process: its environment and effective user.
TempFolderSources CurrentTempFolderSources();

// A temporary folder only this user can write to, for the sync log, the
// update package and the updater. Files with fixed names in a world-writable
// folder would let another user plant a link there, so:
// - $XDG_RUNTIME_DIR when it is an absolute path to a real folder owned by
//   the user and closed to group and others;
// - otherwise "halvex-<uid>" in $TMPDIR (when absolute) or /tmp, created
//   0700, and refused when it is a link, not a folder, owned by someone else
//   or open to group or others.
// A failure carries "temp_folder_err" and the reason.
Result<std::filesystem::path> PrivateTempFolderFrom(const TempFolderSources& sources);
Result<std::filesystem::path> PrivateTempFolder();

}  // namespace halvex
