#pragma once

#include <sys/stat.h>

#include <filesystem>

namespace halvex {

// The mount point of the file system that holds `at`, whose stat is `st`:
// the highest folder above it still on st's device. The caller decides how
// `at` is looked at (a link itself, or what it points to).
std::filesystem::path MountPointAbove(std::filesystem::path at, const struct stat& st);

}  // namespace halvex
