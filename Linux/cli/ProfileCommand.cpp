// dravane profile: this computer's backup profiles.

#include "BackupCommandSupport.h"
#include "Command.h"

namespace halvex::cli {

namespace {

int Run(Context& context, const std::vector<std::string>& options)
{
    return RunBackupEngineCommand(context, options, RunProfileCommand);
}

}  // namespace

const Command& ProfileCommand()
{
    static const Command command{
        "profile", "this computer's backup profiles: list, create, select, delete",
        "profile list\n"
        "profile create --set NAME --source DIR [--category All|Document|Movie|Music|Picture]...\n"
        "               [--user-category NAME=TYPES]...\n"
        "profile select N\n"
        "profile delete N     deletes the profile and its backup set (asks; --yes)\n",
        Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
