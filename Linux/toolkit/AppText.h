#pragma once

#include <QString>

#include "strings/KXStrings.h"
#include "util/Status.h"

// A string-table text as the windows show it: the one way from the table to
// a QString, for the toolkit and the application alike. Where a built-in
// English text is given, it stands in when the table lacks the key, so that
// no button or title is ever blank.
inline QString TextOr(const char* key, const char* fallback = "")
{
    const std::string text = KXStrings::GetString(key);
    return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}

// A string-table text with its placeholders filled (see KXStrings::Format).
template <typename... Args>
QString TextFormat(std::string_view key, const Args&... args)
{
    return QString::fromStdString(KXStrings::Format(key, args...));
}

// A failure as a message box shows it: the text of `key` (or the fallback),
// then the system's detail in brackets when there is one.
inline QString FailureText(const char* key, const char* fallback, const halvex::Status& failure)
{
    const QString text = TextOr(key, fallback);
    return failure.detail.empty() ? text : text + QStringLiteral(" (") + QString::fromStdString(failure.detail) + ')';
}
