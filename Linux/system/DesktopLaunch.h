#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "util/Status.h"

namespace halvex {

// "file:///home/u/My%20Files": a path as a file URI, bytes outside the
// unreserved set percent-encoded.
std::string FileUri(const std::filesystem::path& path);

// Shows folders or items in the desktop's file manager over D-Bus
// (org.freedesktop.FileManager1), falling back to xdg-open of the folder.
// Runs detached; fails with kProgramStartErrorKey (Processes.h) when the
// helper could not be started or the path is not absolute.
[[nodiscard]] Status ShowInFileManager(const std::filesystem::path& path, bool selectItem);

// Opens an address with xdg-open, detached. Texts that xdg-open would take
// for an option are refused with kProgramStartErrorKey.
[[nodiscard]] Status OpenAddress(std::string_view address);

}  // namespace halvex
