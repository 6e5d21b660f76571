#pragma once

#include <QString>

#include "strings/KXStrings.h"

// A string-table text as the windows show it: the one way from the table to
// a QString, for the toolkit and the application alike. Where a built-in
// English text is given, it stands in when the table lacks the key, so that
// no button or title is ever blank.
inline QString TextOr(const char* key, const char* fallback = "")
{
    const std::string text = KXStrings::GetString(key);
    return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}
