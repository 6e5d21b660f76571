#pragma once

#include <string>
#include <string_view>

#include "util/Status.h"

namespace halvex::cli {

// The localised text of a key of the string table, or the built-in English
// when the table has no such key (the command line's own texts are not in
// every language yet).
std::string Text(std::string_view key, std::string_view english);

// A failure as the command line prints it: the message, then the system's
// detail in brackets when there is one (as the windows' FailureText).
std::string WithDetail(std::string message, const Status& failure);

}  // namespace halvex::cli
