#include "strings/KXTheme.h"

#include <algorithm>

namespace {

// One "%d" of sscanf: blanks skipped, an optional sign, at least one digit.
// The value is clamped to 0..255 as it is read, so no length of digits overflows.
std::optional<int> ReadComponent(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' ||
                                 text[pos] == '\r' || text[pos] == '\v' || text[pos] == '\f'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t digits = pos;
    int value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = std::min(value * 10 + (text[pos] - '0'), 1000);
        ++pos;
    }
    if (pos == digits)
        return std::nullopt;
    return negative ? 0 : std::min(value, 255);
}

}  // namespace

std::optional<KXTheme::Colour> KXTheme::ParseColour(std::string_view text)
{
    int rgb[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ',')
                break;
            ++pos;
        }
        const auto component = ReadComponent(text, pos);
        if (!component) {
            if (i == 0)
                return std::nullopt;
            break;
        }
        rgb[i] = *component;
    }
    return MakeColour(rgb[0], rgb[1], rgb[2]);
}

bool KXTheme::Load(const std::filesystem::path& resourcesPath)
{
    return LoadFile(resourcesPath / kFileName);
}

bool KXTheme::LoadFile(const std::filesystem::path&)
{
    return false;
}

KXTheme::Colour KXTheme::GetColour(std::string_view key) const
{
    const auto it = m_mapColours.find(key);
    return it == m_mapColours.end() ? kWhite : it->second;
}

std::filesystem::path KXTheme::ImagePath(const std::filesystem::path& resourcesPath,
                                         std::string_view name)
{
    std::string file(name);
    if (std::filesystem::path(file).extension().empty())
        file += ".png";
    return resourcesPath / file;
}
