#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// The user's short date format and time format (strftime), from the C
// library's LC_TIME locale; the program sets its locale from the
// environment at start-up.
std::string UserShortDateFormat();
std::string UserTimeFormatWithoutSeconds();

// A strftime time format without its seconds: "%H:%M:%S" -> "%H:%M",
// "%r" -> "%I:%M %p", "%T" -> "%H:%M".
std::string TimeFormatWithoutSeconds(std::string_view timeFormat);

// "<date> <time>" of `when` in local time with the given formats.
std::string FormatFileDate(std::time_t when, std::string_view dateFormat, std::string_view timeFormat);

// The file's last-write time in the user's formats; the empty text when the
// file's times cannot be read.
std::string FileDateText(const std::filesystem::path& file);

}  // namespace halvex
