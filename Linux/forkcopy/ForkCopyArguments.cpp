#include "ForkCopyArguments.h"

namespace halvex {

std::optional<ForkCopyArguments> ParseForkCopyArguments(std::span<const std::string_view> arguments)
{
    if (arguments.empty())
        return std::nullopt;
    std::optional<std::filesystem::path> source, destination;
    for (std::size_t at = 0; at < arguments.size(); at += 2) {
        const std::string_view option = arguments[at];
        if (option != "-s" && option != "-d")
            return std::nullopt;
        if (at + 1 >= arguments.size())
            return std::nullopt;
        std::filesystem::path value(arguments[at + 1]);
        (option == "-s" ? source : destination) = std::move(value);
    }
    if (!source || !destination)
        return std::nullopt;
    return ForkCopyArguments{std::move(*source), std::move(*destination)};
}

}  // namespace halvex
