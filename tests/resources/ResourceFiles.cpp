#include "ResourceFiles.h"

#include <fstream>
#include <sstream>

namespace halvex::test {

std::filesystem::path ResourcesDir()
{
    return std::filesystem::path(HALVEX_SOURCE_DIR) / "Resources";
}

std::filesystem::path LanguageDir(const std::string& folder)
{
    return ResourcesDir() / (folder + ".lproj");
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<size_t> FirstInvalidUtf8(const std::string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return i;
        }
        if (i + length > size)
            return i;
        for (size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return i;
        i += length;
    }
    return std::nullopt;
}

namespace {

std::string Trim(const std::string& line)
{
    const char* blanks = " \t\r\f\v";
    const size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

StringTable ParseStringTable(const std::string& text)
{
    StringTable table;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    auto problem = [&](const std::string& why) {
        table.problems.push_back("line " + std::to_string(number) + ": " + why);
    };
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty())
            continue;
        if (line.front() != '"') {
            if (!(line.starts_with("/*") && EndsWith(line, "*/")))
                problem("neither an entry nor a one-line comment: " + line);
            continue;
        }
        if (line.size() < 2 || !EndsWith(line, "\";")) {
            problem("begins like an entry but does not end with a quote and a semicolon");
            continue;
        }
        const std::string body = line.substr(1, line.size() - 3);  // between the first quote and the closing quote
        const size_t separator = body.find("\" = \"");
        if (separator == std::string::npos) {
            problem("entry without the \" = \" separator");
            continue;
        }
        const std::string key = body.substr(0, separator);
        const std::string value = body.substr(separator + 5);
        if (key.empty())
            problem("empty key");
        if (value.find('"') != std::string::npos)
            problem("double quote inside the value of " + key);
        for (size_t at = value.find('\\'); at != std::string::npos; at = value.find('\\', at + 2)) {
            if (at + 1 >= value.size() || (value[at + 1] != 'n' && value[at + 1] != 't'))
                problem("backslash not followed by n or t in " + key);
        }
        if (table.entries.count(key))
            problem("key given twice: " + key);
        table.entries[key] = StringEntry{value, number};
    }
    return table;
}

std::vector<std::string> Placeholders(const std::string& value)
{
    std::vector<std::string> found;
    for (size_t i = value.find('%'); i != std::string::npos; i = value.find('%', i)) {
        size_t end = i + 1;
        while (end < value.size() && std::string("-0+ ").find(value[end]) != std::string::npos)
            ++end;
        while (end < value.size() && value[end] >= '0' && value[end] <= '9')
            ++end;
        if (value.compare(end, 2, "ll") == 0)
            end += 2;
        else if (end < value.size() && value[end] == 'l')
            ++end;
        const bool known = end < value.size() && std::string("sdicu%").find(value[end]) != std::string::npos;
        if (known) {
            found.push_back(value.substr(i, end + 1 - i));
            i = end + 1;
        } else {
            found.push_back("?" + value.substr(i, std::min<size_t>(4, value.size() - i)));
            i += 1;
        }
    }
    return found;
}

}  // namespace halvex::test
