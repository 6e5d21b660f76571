#pragma once

#include <string_view>

namespace halvex {

// True when an archive entry's name stays inside the folder it is extracted
// to: not empty, not absolute ("/x", "\x", "C:x"), no ".." component (with
// "/" or "\" as separator), no NUL byte. Archives come from the drive and
// the network; every extraction checks each name before writing anything.
bool IsSafeEntryName(std::string_view name);

}  // namespace halvex
