#pragma once

// Readers for the resource files as the suite reads them, written again here on
// purpose: a test of the data must not share a fault with the loader it feeds.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvex::test {

// The language folders the suite can choose, in the order of its language table.
inline const std::vector<std::string> kLanguageFolders = {"English", "en_GB", "fr_FR", "fr_CA", "ja", "zh_TW", "zh_CN"};

std::filesystem::path ResourcesDir();
std::filesystem::path LanguageDir(const std::string& folder);

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Offset of the first byte that is not part of a well-formed UTF-8 sequence
// (overlong forms, surrogates and code points above U+10FFFF included), or
// nothing when the text is valid.
std::optional<size_t> FirstInvalidUtf8(const std::string& text);

struct StringEntry {
    std::string value;
    int line = 0;
};

struct StringTable {
    std::map<std::string, StringEntry> entries;
    std::vector<std::string> problems;  // "line N: why", empty when the file is sound
};

// Reads a table by the loader's line rules: trimmed lines, an entry begins with
// a double quote and ends with a double quote and a semicolon, key and value
// are split at the first " = ". On top of that it reports what the loader
// would silently skip or show wrongly: a line that begins like an entry but is
// not one, a stray line that is neither entry nor comment, a key given twice,
// a double quote or unknown backslash sequence inside a value.
StringTable ParseStringTable(const std::string& text);

// The printf directives of a value in order ("%s", "%d", "%02d", "%%" ...).
// A directive the suite's formatter does not take is returned as "?<text>".
std::vector<std::string> Placeholders(const std::string& value);

}  // namespace halvex::test
