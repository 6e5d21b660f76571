#pragma once

#include <filesystem>
#include <string_view>

namespace halvex {

// The user's home: $HOME, else the password database's entry.
std::filesystem::path UserBaseFolder();

// The user's configuration folder: $XDG_CONFIG_HOME when absolute, else
// ~/.config; empty when there is no home.
std::filesystem::path UserConfigFolder();

// The user's desktop and documents folders from the XDG user-dirs file
// ($XDG_CONFIG_HOME/user-dirs.dirs, default ~/.config), falling back to
// ~/Desktop and ~/Documents.
std::filesystem::path DesktopFolder();
std::filesystem::path DocumentsFolder();

// The value of `key` ("XDG_DESKTOP_DIR") in the text of a user-dirs file:
// "$HOME/..." relative to `home`, or an absolute path. Empty when missing or
// malformed (a relative path, an unterminated quote).
std::filesystem::path UserDirFromText(std::string_view text, std::string_view key, const std::filesystem::path& home);

// The same read from a user-dirs file (bounded read); empty when unreadable.
std::filesystem::path UserDirFromFile(const std::filesystem::path& file, std::string_view key,
                                      const std::filesystem::path& home);

}  // namespace halvex
