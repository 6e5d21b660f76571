#pragma once

#include <cstddef>
#include <string_view>

namespace halvex {

// Whether the element nesting that TinyXML would build from `xml` stays
// within `maxDepth`. TinyXML parses, copies and frees nested elements by
// recursion, so a damaged or hostile file of a few megabytes of "<a><a><a>"
// would overflow the stack; this scan runs first and reads the text the way
// TinyXML's parser splits it (comments, CDATA, declarations, quoted
// attribute values), so that nothing it skips hides an element.
bool XmlNestingWithin(std::string_view xml, std::size_t maxDepth);

}  // namespace halvex
