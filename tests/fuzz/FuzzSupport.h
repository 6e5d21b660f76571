#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Shared by the fuzz targets: input splitting and a failure that both
// libFuzzer and the replay driver report with the offending input.
namespace halvex::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at a separator line "\n--\n" into at most maxParts fields;
// the last field keeps the rest. Corpus files are readable this way.
inline std::vector<std::string_view> SplitFields(std::string_view text, std::size_t maxParts)
{
    constexpr std::string_view kSeparator = "\n--\n";
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const std::size_t at = text.find(kSeparator);
        if (at == std::string_view::npos)
            break;
        parts.push_back(text.substr(0, at));
        text.remove_prefix(at + kSeparator.size());
    }
    parts.push_back(text);
    parts.resize(maxParts);
    return parts;
}

// A broken invariant: say which and stop, so the input is kept as a crash.
[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

}  // namespace halvex::fuzz
