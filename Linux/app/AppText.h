#pragma once

#include <QString>

#include "strings/KXStrings.h"

namespace halvex::app {

// A string-table text, or the built-in English one when the table lacks it,
// so that no button or title is ever blank.
inline QString TextOr(const char* key, const char* fallback)
{
    const std::string text = KXStrings::GetString(key);
    return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}

}  // namespace halvex::app
