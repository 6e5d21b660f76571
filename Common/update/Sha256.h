#pragma once

#include <filesystem>
#include <string>

#include "util/Result.h"

namespace halvex {

// The SHA-256 digest of a package as 64 lower-case hex digits; a file that
// cannot be read fails with "download_err", its name and the reason.
Result<std::string> FileSha256(const std::filesystem::path& file);

// True when `text` is 64 hex digits equal to `digest`, letter case aside.
bool SameDigest(const std::string& text, const std::string& digest);

}  // namespace halvex
