#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace halvex {

// Reads at most `limit` bytes of a small text file (a proc or sys entry, a
// settings file). False when it cannot be opened or read, or is larger than
// `limit`: a damaged or hostile file is refused, not cut.
[[nodiscard]] bool ReadBoundedFile(const std::filesystem::path& file, std::size_t limit,
                                   std::string& text);

}  // namespace halvex
