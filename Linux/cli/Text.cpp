#include "Text.h"

#include "strings/KXStrings.h"

namespace halvex::cli {

std::string Text(std::string_view key, std::string_view english)
{
    std::string text = KXStrings::GetString(key);
    return text.empty() ? std::string(english) : text;
}

std::string WithDetail(std::string message, const Status& failure)
{
    if (!failure.detail.empty())
        message += " (" + failure.detail + ")";
    return message;
}

}  // namespace halvex::cli
