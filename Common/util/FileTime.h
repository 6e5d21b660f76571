#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "util/Status.h"

namespace halvex {

// A file's modification time in nanoseconds since 1970, nullopt when it cannot be read.
std::optional<std::int64_t> FileModificationTime(const std::filesystem::path& path);
// Sets access and modification time to the given nanoseconds since 1970;
// "file_save_err" with the file and the system's reason when it cannot.
[[nodiscard]] Status SetFileModificationTime(const std::filesystem::path& path, std::int64_t nanoseconds);

}  // namespace halvex
