#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace halvex {

// The longest prefix of `text` of at most `maxBytes` bytes that neither ends
// inside a UTF-8 character nor holds a NUL (the other builds keep text as C
// strings, so a NUL would end it there anyway). Bytes that are not valid UTF-8
// are kept as they are; only a well-formed character is never split.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// The text with every byte that is not part of a well-formed UTF-8 character
// (stray continuation bytes, truncated or overlong sequences, surrogates,
// code points past U+10FFFF) replaced by U+FFFD. Text read from a property
// list goes through it: TinyXML reads an ill-formed sequence by its lead
// byte's length and swallows what follows (an "&" of an entity among it), so
// such a value would change at every save.
std::string ValidUtf8(std::string_view text);

}  // namespace halvex
