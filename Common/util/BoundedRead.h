#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "util/Result.h"

namespace halvex {

// Reads at most `limit` bytes of a small text file (a proc or sys entry, a
// settings file). Fails ("file_read_err", the file and why) when it cannot be
// opened or read, or is larger than `limit`: a damaged or hostile file is
// refused, not cut.
Result<std::string> ReadBoundedFile(const std::filesystem::path& file, std::size_t limit);
// The same from an open descriptor (which stays the caller's), read from
// where it stands; `file` names it in the failure.
Result<std::string> ReadBoundedFrom(int fd, const std::filesystem::path& file, std::size_t limit);

}  // namespace halvex
