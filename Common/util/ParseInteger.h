#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace halvex {

// The whole of `text` as an integer in `base`, or nothing: no white space, no
// trailing characters, no '+', no sign for an unsigned type, no overflow.
// Numbers from files, arguments and replies all go through here, so "12abc"
// is never taken for 12 and a huge number never throws.
template <typename T>
std::optional<T> ParseInteger(std::string_view text, int base = 10)
{
    static_assert(std::is_integral_v<T>);
    T value{};
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, base);
    if (text.empty() || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

}  // namespace halvex
