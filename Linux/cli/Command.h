#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halvex::cli {

class Context;

// Exit statuses of dravane.
enum ExitStatus : int {
    kExitDone = 0,      // done
    kExitFailures = 1,  // finished, but some work failed
    kExitSetup = 2,     // usage or setup error; the message is on standard error
    kExitFailed = 2,    // the command could not do its work (a backup that did not run); as kExitSetup
};

// What a command needs from start-up before it runs.
enum class Needs {
    Nothing,  // runs before any start-up (version)
    Setup,    // paths, preferences and the string table; no drive test (info)
    Drive,    // the above, the data folder, and the run path on a suite drive
};

// One command of dravane. Each lives in its own file, <Name>Command.cpp, and
// is listed once in CommandTable.cpp.
struct Command {
    std::string_view name;     // "info"
    std::string_view summary;  // one line for `dravane --help`
    std::string_view usage;    // `dravane NAME --help`: synopsis and options, lines ending in '\n'
    Needs needs = Needs::Drive;
    // Runs with the options after the command name (--yes already taken out);
    // answers an ExitStatus.
    int (*run)(Context& context, const std::vector<std::string>& options) = nullptr;
};

// Every command, in the order `dravane --help` lists them.
const std::vector<const Command*>& Commands();
// nullptr when there is no command of that name in the table.
const Command* FindCommand(const std::vector<const Command*>& commands, std::string_view name);

}  // namespace halvex::cli
