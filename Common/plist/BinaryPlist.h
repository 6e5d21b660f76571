#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvex {

// Property lists in the binary form ("bplist00") that Python's plistlib and
// the Mac's preference system write. Settings files are still written as
// XML; a binary one is read by turning it into the XML the readers know, so
// one set of reading rules serves both.
bool IsBinaryPlist(std::string_view data);

// The XML document of a binary property list: dictionaries, arrays,
// strings, integers, reals and booleans as their XML elements; dates, data
// and identifiers as empty elements of their names (read as unrecognised
// values). nullopt for a damaged document: an offset, reference or length
// outside the file, nesting deeper than the XML reader allows, or an output
// past the size the readers accept. Read as hostile input.
std::optional<std::string> BinaryPlistToXml(std::string_view data);

}  // namespace halvex
