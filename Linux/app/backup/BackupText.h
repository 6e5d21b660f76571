#pragma once

#include <QString>

#include <filesystem>
#include <string>

#include "backup/BackupStrings.h"
#include "toolkit/PathText.h"

namespace halvex::app {

// The backup string table's texts as the backup windows show them.
inline QString BackupMessage(const BackupStrings& strings, int number)
{
    return QString::fromStdString(strings.Message(number));
}
inline QString BackupLabel(const BackupStrings& strings, int number)
{
    return QString::fromStdString(strings.Label(number));
}

// A message followed by what it is about: the file it names, or a failure's
// detail (which names its file and the system's reason).
inline QString BackupMessageAbout(const BackupStrings& strings, int number, const std::filesystem::path& file)
{
    return BackupMessage(strings, number) + ' ' + PathText(file);
}
inline QString BackupMessageAbout(const BackupStrings& strings, int number, const std::string& detail)
{
    return BackupMessage(strings, number) + ' ' + QString::fromStdString(detail);
}

}  // namespace halvex::app
