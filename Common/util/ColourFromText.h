#pragma once

#include <cstdint>
#include <string_view>

namespace halvex {

// The colour of a "%d,%d,%d" text (red, green, blue) with red in the low
// byte, green next, blue in the third. A missing number counts as 0 and
// each is held to 0..255.
std::uint32_t ColourFromText(std::string_view text);

}  // namespace halvex
