#include "util/ColourFromText.h"

#include <algorithm>
#include <cctype>

namespace halvex {

namespace {

// One "%d" as sscanf reads it: spaces, an optional sign, digits. Stops at the
// first thing that is not part of the number.
bool ReadNumber(std::string_view text, std::size_t& pos, long& value)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    const std::size_t start = pos;
    long number = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        number = std::min(number * 10 + (text[pos] - '0'), 100000L);
        ++pos;
    }
    if (pos == start)
        return false;
    value = negative ? -number : number;
    return true;
}

}  // namespace

std::uint32_t ColourFromText(std::string_view text)
{
    long parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ',')
                break;
            ++pos;
        }
        if (!ReadNumber(text, pos, parts[i]))
            break;
    }
    std::uint32_t colour = 0;
    for (int i = 0; i < 3; ++i)
        colour |= static_cast<std::uint32_t>(std::clamp(parts[i], 0L, 255L)) << (8 * i);
    return colour;
}

}  // namespace halvex
