// The command table of dravane.
//
// Adding a command:
//   1. Write Linux/cli/<Name>Command.cpp (it is picked up by the build) with
//        const halvex::cli::Command& halvex::cli::<Name>Command()
//        {
//            static const Command command{"name", "summary", "usage\n", Needs::Drive, &Run};
//            return command;
//        }
//      where Run(Context&, options) does the work through the Context: its
//      paths, drive, console (output, progress, yes/no questions) and cancel
//      flag, and answers kExitDone, kExitFailures or kExitSetup.
//   2. Add one line `X(<Name>Command)` to the list below.
// Tests link the library halvex_cli and run halvex::cli::RunDravane.

#include "Command.h"

// One line per command, in the order of `dravane --help`.
#define HALVEX_DRAVANE_COMMANDS(X) \
    X(InfoCommand)                 \
    X(AutorunCommand)              \
    X(SyncCommand)                 \
    X(CheckUpdateCommand)          \
    X(ProfileCommand)              \
    X(BackupCommand)               \
    X(RestoreCommand)              \
    X(VersionCommand)

namespace halvex::cli {

#define HALVEX_DECLARE_COMMAND(name) const Command& name();
HALVEX_DRAVANE_COMMANDS(HALVEX_DECLARE_COMMAND)
#undef HALVEX_DECLARE_COMMAND

const std::vector<const Command*>& Commands()
{
#define HALVEX_LIST_COMMAND(name) &name(),
    static const std::vector<const Command*> commands = {HALVEX_DRAVANE_COMMANDS(HALVEX_LIST_COMMAND)};
#undef HALVEX_LIST_COMMAND
    return commands;
}

const Command* FindCommand(const std::vector<const Command*>& commands, std::string_view name)
{
    for (const Command* command : commands)
        if (command->name == name)
            return command;
    return nullptr;
}

}  // namespace halvex::cli
