#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace halvex {

struct ForkCopyArguments {
    std::filesystem::path source;
    std::filesystem::path destinationFolder;
};

// "-s" source and "-d" destination folder, as pairs in any order, the names
// compared exactly. Nothing for no arguments, an unknown option (the pairs
// after it are not read), an option without its value, or a missing one; the
// program then ends with status 2. A later pair of the same option wins.
std::optional<ForkCopyArguments> ParseForkCopyArguments(std::span<const std::string_view> arguments);

}  // namespace halvex
