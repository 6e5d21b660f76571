#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvex {

// Which Qt platform a window program asks for, from the session's
// WAYLAND_DISPLAY and the user's own QT_QPA_PLATFORM (null when unset).
// A Wayland session gets "wayland;xcb": native windows, and X through
// XWayland should the compositor refuse us. Without Wayland, or when the
// user chose a platform, nothing is asked and Qt's own choice stands.
std::optional<std::string> PreferredQtPlatform(const char* waylandDisplay, const char* userPlatform);

// Sets QT_QPA_PLATFORM as above; call before the QApplication is made.
void ChooseQtPlatform();

// False on Wayland (platform "wayland", "wayland-egl"), where a program
// cannot place its own windows: the compositor chooses, and a move() is lost.
bool ProgramPlacesWindows(std::string_view qtPlatformName);

}  // namespace halvex
