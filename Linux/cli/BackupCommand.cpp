// dravane backup: the backup of the current profile.

#include "BackupCommandSupport.h"
#include "Command.h"

namespace halvex::cli {

namespace {

int Run(Context& context, const std::vector<std::string>& options)
{
    return RunBackupEngineCommand(context, options, RunBackupCommand);
}

}  // namespace

const Command& BackupCommand()
{
    static const Command command{"backup", "back up the current profile's files into its backup set on the drive",
                                 "backup [--dry-run] [--on-error skip|stop]\n"
                                 "  --dry-run            print \"files: N\" and \"bytes needed: B\"; write nothing\n"
                                 "  --on-error skip|stop what to do when a file cannot be stored (default: ask)\n",
                                 Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
