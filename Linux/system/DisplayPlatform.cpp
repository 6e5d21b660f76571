#include "system/DisplayPlatform.h"

#include <cstdlib>

namespace halvex {

namespace {
bool Empty(const char* text)
{
    return text == nullptr || *text == '\0';
}
}  // namespace

std::optional<std::string> PreferredQtPlatform(const char* waylandDisplay, const char* userPlatform)
{
    if (!Empty(userPlatform) || Empty(waylandDisplay))
        return std::nullopt;
    return std::string("wayland;xcb");
}

void ChooseQtPlatform()
{
    const std::optional<std::string> platform =
        PreferredQtPlatform(std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"));
    if (platform)
        ::setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
}

bool ProgramPlacesWindows(std::string_view qtPlatformName)
{
    return qtPlatformName.substr(0, 7) != "wayland";
}

}  // namespace halvex
