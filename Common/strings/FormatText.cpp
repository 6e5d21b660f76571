#include "strings/FormatText.h"

namespace halvex {

// FIXME: stub until the checked formatter lands: returns the format as written.
std::string FormatTextArgs(std::string_view format, std::span<const FormatArg>)
{
    return std::string(format);
}

}  // namespace halvex
