// dravane restore: files of a backup set back to the computer.

#include "BackupCommandSupport.h"
#include "Command.h"

namespace halvex::cli {

namespace {

int Run(Context& context, const std::vector<std::string>& options)
{
    return RunBackupEngineCommand(context, options, RunRestoreCommand);
}

}  // namespace

const Command& RestoreCommand()
{
    static const Command command{
        "restore", "restore files of a backup set to their folder, the desktop or another folder",
        "restore --set NAME [--generation current|recent|old] [--folder RELATIVE] [--file NAME]...\n"
        "        [--recursive] (--original | --desktop | --to DIR) [--overwrite ask|yes|no]\n"
        "  every file of the folder unless --file names some; --recursive takes its subfolders too\n",
        Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
