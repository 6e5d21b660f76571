#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "Console.h"

namespace halvex::cli {

struct Command;

// Where dravane talks to, and where it sits: without --run-path the run
// path is derived from the executable's place in the drive folder.
struct DravaneIo {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    Console::Terminal terminal{};
    std::filesystem::path executable = "/proc/self/exe";
};

// The whole of dravane: `dravane [--run-path DIR] [--yes] COMMAND [OPTIONS]`.
// `arguments` excludes the program name. Starts as the suite does (paths,
// preferences, string table, drive test as the command needs) and answers
// the exit status.
int RunDravane(const std::vector<std::string>& arguments, const DravaneIo& io);
// The same over another command table (tests).
int RunDravaneWith(const std::vector<const Command*>& commands, const std::vector<std::string>& arguments,
                   const DravaneIo& io);

// The message of a failed string table.
inline constexpr const char* kResourcesFailedMessage =
    "Halvex Dravane failed to launch because the required resource files can not be loaded.";

}  // namespace halvex::cli
