#pragma once

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace halvex {

// One argument of a localised text. The formatter knows each argument's kind,
// so a placeholder that does not fit its argument is printed readably instead
// of being trusted the way printf trusts its format.
class FormatArg {
public:
    using Value = std::variant<std::string_view, long long, unsigned long long, char>;

    FormatArg(const char* text) : m_value(std::string_view(text ? text : "")) {}
    FormatArg(std::string_view text) : m_value(text) {}
    FormatArg(const std::string& text) : m_value(std::string_view(text)) {}
    // The path's native text, which is UTF-8 on the drive and on Linux.
    FormatArg(const std::filesystem::path& path) : m_value(std::string_view(path.native())) {}
    FormatArg(char c) : m_value(c) {}
    template <std::signed_integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>) FormatArg(T number)
        : m_value(static_cast<long long>(number))
    {}
    template <std::unsigned_integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>) FormatArg(T number)
        : m_value(static_cast<unsigned long long>(number))
    {}
    // A bool is almost always a mistake at a call site; refuse it at compile time.
    FormatArg(bool) = delete;

    const Value& value() const { return m_value; }

private:
    Value m_value;  // text arguments are views: a FormatArg lives only for one call
};

// Fills the placeholders of a format taken from a string table. Understood:
// "%s" (text; also "%@", the Mac build's spelling), "%d" and "%i" (number),
// "%u", the length modifiers "l" and "ll" on those, "%c" (one character) and
// "%%", each with optional flags "-0+ " and a width of at most
// kMaxFormatWidth characters. A placeholder whose argument is of another kind
// prints that argument as it is. A placeholder without an argument, with an
// unknown conversion ("%n", "%x", "%f", "%*d", "%.3s"), or with a larger width
// is left in the result as written and takes no argument. Extra arguments are
// ignored. A lone "%" at the end stays as it is.
std::string FormatTextArgs(std::string_view format, std::span<const FormatArg> args);

inline std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args)
{
    return FormatTextArgs(format, std::span<const FormatArg>(args.begin(), args.size()));
}

template <typename... Args>
std::string FormatText(std::string_view format, const Args&... args)
{
    const FormatArg list[] = {FormatArg(args)..., FormatArg("")};  // never a zero-sized array
    return FormatTextArgs(format, std::span<const FormatArg>(list, sizeof...(Args)));
}

// Widths beyond this are refused: a table entry "%999999d" must not make a
// megabyte of blanks.
inline constexpr int kMaxFormatWidth = 64;

}  // namespace halvex
