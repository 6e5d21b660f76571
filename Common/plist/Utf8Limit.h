#pragma once

#include <cstddef>
#include <string_view>

namespace halvex {

// The longest prefix of `text` of at most `maxBytes` bytes that neither ends
// inside a UTF-8 character nor holds a NUL (the other builds keep text as C
// strings, so a NUL would end it there anyway). Bytes that are not valid UTF-8
// are kept as they are; only a well-formed character is never split.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace halvex
