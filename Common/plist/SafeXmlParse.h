#pragma once

#include <cstddef>
#include <string_view>

class TiXmlDocument;

namespace halvex {

// Deeper nesting than any property list or update reply has: a property list
// is four levels deep, and values kept as unknown elements (nested dicts of
// the other builds' backup settings) add a few more.
inline constexpr std::size_t kMaxXmlNesting = 128;

// Parses UTF-8 text into the document; false when it is malformed or nested
// deeper than maxDepth. Every TinyXML parse of a file from the drive or a
// reply from the network goes through here: TinyXML recurses once per level
// of nesting, and steps over the end of a text that stops inside a UTF-8
// sequence (a lead byte counts its continuation bytes, the terminator among
// them), so the text is checked first and parsed from a copy padded with
// zero bytes.
bool ParseXmlSafely(TiXmlDocument& document, std::string_view text, std::size_t maxDepth = kMaxXmlNesting);

}  // namespace halvex
