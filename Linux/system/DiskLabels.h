#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// udev writes names with unsafe bytes as "\xHH" ("MY\x20STICK"); this gives
// back the label. Malformed escapes stay as written.
std::string DecodeUdevEscapes(std::string_view name);

// The name of the link in a by-label or by-uuid folder that points at the
// block device of that kernel name ("sdb1"): its label or file system UUID;
// empty when there is none.
std::string FindLabelFor(const std::filesystem::path& byLabelFolder, std::string_view kernelName);

}  // namespace halvex
