#include "strings/StringTable.h"

#include "util/BoundedRead.h"

namespace halvex {

namespace {

constexpr std::string_view kSeparator = "\" = \"";
constexpr std::string_view kEntryEnd = "\";";
// Not in any table: a table that could not be read has no texts to give.
constexpr const char* kEmptyKey = "strings_empty_err";

std::string_view TrimBlanks(std::string_view text)
{
    // Blanks, tabs and the carriage return of a file saved with Windows line ends.
    constexpr std::string_view kBlank = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlank);
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<StringTableEntry> ParseStringTableLine(std::string_view line)
{
    line = TrimBlanks(line);
    // The shortest entry is "" = ""; (the separator, a leading quote and the end).
    if (line.size() < 1 + kSeparator.size() + kEntryEnd.size())
        return std::nullopt;
    if (line.front() != '"' || !line.ends_with(kEntryEnd))
        return std::nullopt;
    const std::string_view body = line.substr(1, line.size() - 1 - kEntryEnd.size());
    const auto separator = body.find(kSeparator);
    if (separator == std::string_view::npos)
        return std::nullopt;
    return StringTableEntry{std::string(body.substr(0, separator)),
                            std::string(body.substr(separator + kSeparator.size()))};
}

std::string ExpandLineBreaks(std::string_view value)
{
    std::string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            result += '\n';
            ++i;
        } else {
            result += value[i];
        }
    }
    return result;
}

Status StringTable::Load(const std::filesystem::path& path)
{
    m_entries.clear();
    const Result<std::string> text = ReadBoundedFile(path, kMaxFileSize);
    if (!text)
        return text.status();
    Status loaded = LoadText(text.value());
    if (!loaded)
        loaded.detail = path.string();
    return loaded;
}

Status StringTable::LoadText(std::string_view text)
{
    m_entries.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (auto entry = ParseStringTableLine(text.substr(start, end - start)))
            m_entries.insert_or_assign(std::move(entry->key), std::move(entry->value));
        start = end + 1;
    }
    return m_entries.empty() ? Status::Fail(kEmptyKey) : Status::Ok();
}

std::string StringTable::Get(std::string_view key) const
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return {};
    return ExpandLineBreaks(it->second);
}

bool StringTable::Contains(std::string_view key) const
{
    return m_entries.find(key) != m_entries.end();
}

}  // namespace halvex
