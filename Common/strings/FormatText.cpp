#include "strings/FormatText.h"

#include <charconv>
#include <optional>
#include <type_traits>

namespace halvex {

namespace {

enum class Conversion { Signed, Unsigned, Text, Character };

// One placeholder as read from the format: its flags and width, and where it ends.
struct Placeholder {
    bool leftAlign = false;
    bool zeroPad = false;
    char signFlag = 0;  // '+' or ' ' when asked for
    int width = 0;
    Conversion conversion = Conversion::Text;
    std::size_t end = 0;  // index just after the conversion letter
};

// Reads the placeholder that starts at format[start] == '%'. Nothing when it
// is not one this formatter takes; the caller then copies it as written.
std::optional<Placeholder> ReadPlaceholder(std::string_view format, std::size_t start)
{
    Placeholder p;
    std::size_t i = start + 1;
    for (; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '-')
            p.leftAlign = true;
        else if (c == '0')
            p.zeroPad = true;
        else if (c == '+')
            p.signFlag = '+';
        else if (c == ' ') {
            if (p.signFlag != '+')
                p.signFlag = ' ';
        } else
            break;
    }
    const std::size_t widthStart = i;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        if (i - widthStart >= 3)  // beyond any width this formatter honours
            return std::nullopt;
        p.width = p.width * 10 + (format[i] - '0');
        ++i;
    }
    if (p.width > kMaxFormatWidth)
        return std::nullopt;
    int longs = 0;
    while (i < format.size() && format[i] == 'l' && longs < 2) {
        ++longs;
        ++i;
    }
    if (i >= format.size())
        return std::nullopt;
    switch (format[i]) {
    case 'd':
    case 'i': p.conversion = Conversion::Signed; break;
    case 'u': p.conversion = Conversion::Unsigned; break;
    case 's':
    case '@':  // the Mac build's spelling of "%s", met in tables edited there
        if (longs)
            return std::nullopt;
        p.conversion = Conversion::Text;
        break;
    case 'c':
        if (longs)
            return std::nullopt;
        p.conversion = Conversion::Character;
        break;
    default: return std::nullopt;
    }
    p.end = i + 1;
    return p;
}

template <typename T>
std::string NumberText(T value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A code point as UTF-8; nothing for values that are not characters.
std::optional<std::string> CodePointText(unsigned long long cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// The argument's text for the placeholder. A number asked for as text prints
// as a number, text asked for as a number prints as the text: either way the
// reader sees the value, and nothing is reinterpreted.
std::string ArgumentText(const Placeholder& p, const FormatArg& arg, bool& isNumber)
{
    isNumber = false;
    return std::visit(
        [&](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string_view>) {
                return std::string(value);
            } else if constexpr (std::is_same_v<T, char>) {
                if (p.conversion == Conversion::Signed || p.conversion == Conversion::Unsigned) {
                    isNumber = true;
                    return NumberText(static_cast<int>(static_cast<unsigned char>(value)));
                }
                return std::string(1, value);
            } else {
                if (p.conversion == Conversion::Character) {
                    bool negative = false;
                    if constexpr (std::is_signed_v<T>)
                        negative = value < 0;
                    if (!negative) {
                        if (auto text = CodePointText(static_cast<unsigned long long>(value)))
                            return *text;
                    }
                }
                isNumber = true;
                return NumberText(value);
            }
        },
        arg.value());
}

// The width counts characters, not bytes, so padded Japanese text lines up
// as padded English text does.
std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

void AppendPadded(std::string& out, const Placeholder& p, std::string text, bool isNumber)
{
    if (isNumber && p.signFlag && !text.empty() && text.front() != '-')
        text.insert(text.begin(), p.signFlag);
    const std::size_t width = static_cast<std::size_t>(p.width);
    const std::size_t length = CharacterCount(text);
    if (length >= width) {
        out += text;
        return;
    }
    const std::size_t pad = width - length;
    if (p.leftAlign) {
        out += text;
        out.append(pad, ' ');
    } else if (p.zeroPad && isNumber) {
        // Zeros go between the sign and the digits, as printf puts them.
        std::size_t sign = (text.front() == '-' || text.front() == '+' || text.front() == ' ') ? 1 : 0;
        out.append(text, 0, sign);
        out.append(pad, '0');
        out.append(text, sign);
    } else {
        out.append(pad, ' ');
        out += text;
    }
}

}  // namespace

std::string FormatTextArgs(std::string_view format, std::span<const FormatArg> args)
{
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;  // the next argument to use
    std::size_t i = 0;
    while (i < format.size()) {
        const auto percent = format.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(format, i);
            break;
        }
        out.append(format, i, percent - i);
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            i = percent + 2;
            continue;
        }
        const auto placeholder = ReadPlaceholder(format, percent);
        if (!placeholder || next >= args.size()) {
            // Unknown, too wide or without an argument: keep the '%' and go on
            // from the next character, so the rest is copied as written.
            out += '%';
            i = percent + 1;
            continue;
        }
        bool isNumber = false;
        std::string text = ArgumentText(*placeholder, args[next++], isNumber);
        AppendPadded(out, *placeholder, std::move(text), isNumber);
        i = placeholder->end;
    }
    return out;
}

}  // namespace halvex
