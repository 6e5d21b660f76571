#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace halvex {

// The fields of one line of a system or drive file, separated by runs of any
// of `blanks`. At most `limit` fields are taken and the rest of the line is
// not looked at, so that a hostile line costs no more than that; a caller
// that wants exactly N fields asks for N + 1 to see that there are more.
std::vector<std::string_view> SplitFields(std::string_view line, std::size_t limit, std::string_view blanks = " \t");

}  // namespace halvex
