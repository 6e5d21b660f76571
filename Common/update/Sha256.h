#pragma once

#include <filesystem>
#include <string>

namespace halvex {

// The SHA-256 digest of a file as 64 lower-case hex digits; empty when the
// file cannot be read.
std::string FileSha256(const std::filesystem::path& file);

// True when `text` is 64 hex digits equal to `digest`, letter case aside.
bool SameDigest(const std::string& text, const std::string& digest);

}  // namespace halvex
