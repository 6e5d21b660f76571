#pragma once

#include <QString>

#include <filesystem>

// Paths between the core (std::filesystem::path, UTF-8 bytes on Linux) and
// the widgets (QString): the one conversion each way.
inline QString PathText(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

inline std::filesystem::path PathOfText(const QString& text)
{
    return std::filesystem::path(text.toStdString());
}
