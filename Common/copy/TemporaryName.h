#pragma once

#include <string>
#include <string_view>

namespace halvex {

// A hidden name for the copy of `name` while it is written: the copy prefix,
// eight random hex digits, then as much of the name as fits in 255 bytes,
// cut between UTF-8 characters (FAT refuses broken sequences).
std::string TemporaryNameFor(std::string_view name);

bool IsTemporaryCopyName(std::string_view name);

}  // namespace halvex
