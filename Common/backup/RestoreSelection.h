#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "util/Result.h"

// Which archives of a backup set on the drive a restore takes: the checks
// that keep a restore inside the set, whoever asks for it.
namespace halvex {

struct RestoreRequest {
    std::string set;
    std::string generationFolder;    // "Current Backup", "Recent Backup" or "Old Backup"
    std::filesystem::path folder;    // relative to the generation folder
    std::vector<std::string> names;  // file names; empty: every file of the folder
    bool recursive = false;          // the subfolders' files too
};

struct RestoreSelection {
    std::filesystem::path source;  // the folder in the generation folder
    std::vector<std::filesystem::path> archives;
};

// The archives of the request below driveRoot's backup folder, sorted, each
// folder's files before its subfolders'. Refused when the folder climbs out,
// the set name is invalid, or a folder on the way is a link.
Result<RestoreSelection> SelectRestoreArchives(const std::filesystem::path& driveRoot, const RestoreRequest& request);

// The backup message that tells a failed selection's status.
int RestoreSelectionMessage(const Status& status);

}  // namespace halvex
