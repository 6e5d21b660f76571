#pragma once

#include <string>
#include <vector>

#include "BackupCommands.h"

namespace halvex::cli {

class Context;

// Runs one of the backup engine's commands (profile, backup, restore) with
// the drive, data folder, identity and console of dravane's start-up.
int RunBackupEngineCommand(Context& context, const std::vector<std::string>& options,
                           int (*command)(const std::vector<std::string>&, const BackupCommandContext&));

}  // namespace halvex::cli
