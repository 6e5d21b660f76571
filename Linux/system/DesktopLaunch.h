#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// "file:///home/u/My%20Files": a path as a file URI, bytes outside the
// unreserved set percent-encoded.
std::string FileUri(const std::filesystem::path& path);

// Shows folders or items in the desktop's file manager over D-Bus
// (org.freedesktop.FileManager1), falling back to xdg-open of the folder.
// Runs detached; true when the helper could be started.
bool ShowInFileManager(const std::filesystem::path& path, bool selectItem);

// Opens an address with xdg-open, detached. Texts that xdg-open would take
// for an option are refused.
bool OpenAddress(std::string_view address);

}  // namespace halvex
