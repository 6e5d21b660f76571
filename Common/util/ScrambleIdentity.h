#pragma once

#include <string>
#include <string_view>

namespace halvex {

// The computer's name in the sync settings file: each byte XORed with the
// key "VKRM4Q7351-2804E9A" (repeated), written as a signed decimal number,
// the numbers run together. Other builds read and write the same names.
std::string ScrambleIdentity(std::string_view identity);

}  // namespace halvex
