#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "util/Status.h"

namespace halvex {

// The key and value of one "Localizable.strings" line.
struct StringTableEntry {
    std::string key;
    std::string value;
};

// Reads one line of a string table: "key" = "value"; with blanks and tabs
// around it. The key ends at the first '" = "', so a value may hold that text
// again. Nothing is unescaped here: the Windows and Mac builds read the same
// files this way, and "\n" becomes a line break only at lookup. Any other line
// (comment, blank, part of a split entry) gives no entry.
std::optional<StringTableEntry> ParseStringTableLine(std::string_view line);

// Turns every backslash-n pair into a line break.
std::string ExpandLineBreaks(std::string_view value);

// A string table in memory: key to raw value, a later line replacing an
// earlier one with the same key.
class StringTable {
public:
    // A table on the drive is a few tens of kilobytes; anything this large is
    // not one and is refused rather than read into memory.
    static constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{4} * 1024 * 1024;

    // Empties the table, then reads the file. Fails when the file cannot be
    // opened or is too large ("file_read_err", the file and why), or holds no
    // entry ("strings_empty_err").
    [[nodiscard]] Status Load(const std::filesystem::path& path);
    // The same rules for text already in memory (the file's whole content).
    [[nodiscard]] Status LoadText(std::string_view text);
    void Clear() { m_entries.clear(); }

    // The value with its line breaks expanded; the empty text when missing.
    std::string Get(std::string_view key) const;
    bool Contains(std::string_view key) const;
    std::size_t Size() const { return m_entries.size(); }
    // The raw values, for checks across tables (missing keys, placeholders).
    const std::map<std::string, std::string, std::less<>>& Entries() const { return m_entries; }

private:
    std::map<std::string, std::string, std::less<>> m_entries;
};

}  // namespace halvex
