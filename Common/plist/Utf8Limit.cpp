#include "plist/Utf8Limit.h"

namespace halvex {

namespace {

bool IsContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length a lead byte announces, 0 for a byte that cannot start a character.
std::size_t SequenceLength(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
        return 1;
    if ((byte & 0xE0) == 0xC0)
        return 2;
    if ((byte & 0xF0) == 0xE0)
        return 3;
    if ((byte & 0xF8) == 0xF0)
        return 4;
    return 0;
}

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes)
{
    text = text.substr(0, text.find('\0'));
    if (text.size() <= maxBytes)
        return text;
    // Step back from the cut to the lead byte of the character it falls in;
    // drop that character only when it is complete and would be split.
    std::size_t lead = maxBytes;
    while (lead > 0 && maxBytes - lead < 3 && IsContinuation(text[lead]))
        --lead;
    if (lead == maxBytes || IsContinuation(text[lead]))
        return text.substr(0, maxBytes);
    const std::size_t length = SequenceLength(text[lead]);
    if (length > 1 && lead + length > maxBytes) {
        bool wellFormed = lead + length <= text.size();
        for (std::size_t i = lead + 1; wellFormed && i < lead + length; ++i)
            wellFormed = IsContinuation(text[i]);
        if (wellFormed)
            return text.substr(0, lead);
    }
    return text.substr(0, maxBytes);
}

std::string ValidUtf8(std::string_view text)
{
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = SequenceLength(text[at]);
        bool wellFormed = length > 0 && at + length <= text.size();
        for (std::size_t i = at + 1; wellFormed && i < at + length; ++i)
            wellFormed = IsContinuation(text[i]);
        if (wellFormed && length > 1) {
            const auto lead = static_cast<unsigned char>(text[at]);
            const auto second = static_cast<unsigned char>(text[at + 1]);
            if (length == 2)
                wellFormed = lead >= 0xC2;  // overlong
            else if (length == 3)
                wellFormed = !(lead == 0xE0 && second < 0xA0) &&  // overlong
                             !(lead == 0xED && second >= 0xA0);   // surrogate
            else
                wellFormed = !(lead == 0xF0 && second < 0x90) &&                // overlong
                             (lead < 0xF4 || (lead == 0xF4 && second < 0x90));  // past U+10FFFF
        }
        if (wellFormed) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out.append(kReplacement);
            ++at;
        }
    }
    return out;
}

}  // namespace halvex
