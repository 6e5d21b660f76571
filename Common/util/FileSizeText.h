#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "util/Result.h"

namespace halvex {

// The size text of the file lists: "0 byte" for nothing, otherwise the size
// rounded up in the largest unit it fills ("KB", "MB", "GB", "TB"), never
// below "1 KB". 1024 is "1 KB", 1025 is "2 KB", 1.5 MB is "2 MB".
std::string SizeText(std::uint64_t bytes);

// SizeText of a file's size; "file_read_err" with the file and the system's
// reason when it cannot be opened.
Result<std::string> FileSizeText(const std::filesystem::path& file);

}  // namespace halvex
