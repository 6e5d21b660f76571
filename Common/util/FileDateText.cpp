#include "util/FileDateText.h"

#include <langinfo.h>
#include <sys/stat.h>

#include <cstring>

namespace halvex {

namespace {

// Expands the composite conversions that hide seconds inside them.
std::string ExpandTimeFormat(std::string_view format)
{
    std::string expanded;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            expanded += format[i];
            continue;
        }
        const char conversion = format[++i];
        switch (conversion) {
        case 'T': expanded += "%H:%M:%S"; break;
        case 'r': expanded += "%I:%M:%S %p"; break;
        case 'X': {
            // The locale's own time format; guard against one naming %X.
            const std::string_view locale = ::nl_langinfo(T_FMT);
            if (locale.find("%X") == std::string_view::npos && !locale.empty())
                expanded += ExpandTimeFormat(locale);
            else
                expanded += "%H:%M:%S";
            break;
        }
        default: expanded += '%'; expanded += conversion;
        }
    }
    return expanded;
}

bool IsSecondsSeparator(char c)
{
    return c == ':' || c == '.' || c == ',';
}

}  // namespace

std::string TimeFormatWithoutSeconds(std::string_view timeFormat)
{
    const std::string expanded = ExpandTimeFormat(timeFormat);
    std::string result;
    for (std::size_t i = 0; i < expanded.size(); ++i) {
        if (expanded[i] == '%' && i + 1 < expanded.size()) {
            if (expanded[i + 1] != 'S') {
                result += expanded[i];
                result += expanded[i + 1];
                ++i;
                continue;
            }
            ++i;
            if (!result.empty() && IsSecondsSeparator(result.back())) {
                // "%M:%S": the separator goes with the seconds.
                result.pop_back();
            } else {
                // "%M分%S秒": the unit after the seconds goes with them.
                while (i + 1 < expanded.size() && expanded[i + 1] != '%' && expanded[i + 1] != ' ')
                    ++i;
            }
            continue;
        }
        result += expanded[i];
    }
    return result;
}

std::string UserShortDateFormat()
{
    const char* format = ::nl_langinfo(D_FMT);
    return format != nullptr && *format != '\0' ? format : "%m/%d/%y";
}

std::string UserTimeFormatWithoutSeconds()
{
    const char* format = ::nl_langinfo(T_FMT);
    return TimeFormatWithoutSeconds(format != nullptr && *format != '\0' ? format : "%H:%M:%S");
}

std::string FormatFileDate(std::time_t when, std::string_view dateFormat, std::string_view timeFormat)
{
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr)
        return {};
    const std::string format = std::string(dateFormat) + " " + std::string(timeFormat);
    char buffer[256];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
    return std::string(buffer, length);
}

std::string FileDateText(const std::filesystem::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return FormatFileDate(st.st_mtime, UserShortDateFormat(), UserTimeFormatWithoutSeconds());
}

}  // namespace halvex
