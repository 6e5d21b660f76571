#pragma once

#include <string>
#include <string_view>

namespace halvex::cli {

// The localised text of a key of the string table, or the built-in English
// when the table has no such key (the command line's own texts are not in
// every language yet).
std::string Text(std::string_view key, std::string_view english);

}  // namespace halvex::cli
