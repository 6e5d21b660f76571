#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex {

// Parameter n of the command line, counted from 1 (`parameters` excludes the
// program name). No result when fewer than n were given. A trailing double
// quote is dropped: a quoted path ending in a separator reaches some parsers
// as `E:\"`, and launchers written for that keep producing it.
std::optional<std::string> CommandLineParameter(const std::vector<std::string>& parameters, std::size_t n);

// The run path from a command-line argument: the trailing double quote is
// dropped, then trailing separators (the root stays the root). A relative
// argument is made absolute against the current folder. No result for an
// empty argument.
std::optional<std::filesystem::path> RunPathFromArgument(std::string_view argument);

// The run path from the executable's own place:
// <run path>/HalvexDravane.app/Contents/Linux/<program> (or the bundle
// folder without ".app"). `executable` may be the /proc/self/exe link, which
// is resolved. No result when the program does not sit in a bundle, so a
// stray build never scatters a data folder around.
std::optional<std::filesystem::path> RunPathFromExecutable(const std::filesystem::path& executable);

}  // namespace halvex
