#pragma once

#include <string>

#include "strings/StringTable.h"

namespace halvex {

// The updater's own string table, built into the program: the language the
// user's locale chooses, English when it has none of its own.
StringTable LoadUpdaterStrings();

}  // namespace halvex
