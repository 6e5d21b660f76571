#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// A fresh folder under the temporary folder for the targets that read files;
// a target makes it once and reuses it for every input.
inline std::filesystem::path MakeTempFolder(const std::string& stem)
{
    std::string name = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    if (::mkdtemp(name.data()) == nullptr)
        Fail("no temporary folder");
    return name;
}

// Replaces the file's content with the bytes.
inline void WriteFile(const std::filesystem::path& file, std::string_view bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace halvex::fuzz
