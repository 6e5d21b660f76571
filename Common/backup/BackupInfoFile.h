#pragma once

#include <filesystem>
#include <string>

#include "util/Status.h"

// The information file of a backup set ("info.ini"): one line naming the
// folder that was backed up into the set. This edition writes UTF-8; the
// Windows program writes UTF-16LE without a byte-order mark, and both are read.
namespace halvex {

// Why an information file could not be read.
inline constexpr const char* kInfoNoGenerationFolderKey = "backup_info_no_generation";  // in no generation folder
inline constexpr const char* kInfoMissingKey = "backup_info_missing";
inline constexpr const char* kInfoUnopenableKey = "backup_info_unopenable";
inline constexpr const char* kInfoInvalidKey = "backup_info_invalid";
inline constexpr const char* kInfoUnwritableKey = "backup_info_unwritable";

struct InfoFileLookup {
    Status status = Status::Fail(kInfoMissingKey);
    std::string originalFolder;              // with a trailing "/" when Ok
    std::filesystem::path setFolder;         // the set holding the path
    std::filesystem::path generationFolder;  // "Current Backup" etc. of the path
};

inline constexpr const char* kInfoFileName = "info.ini";
inline constexpr int kInfoFileAlternatives = 999;  // "info000.ini" to "info998.ini"

// The numbered fallback name, "info%.3d.ini".
std::string InfoFileAlternative(int number);

// Writes the source folder into "info.ini" of the set, or into the first of
// the numbered names that can be written, each through a temporary renamed
// over it. When none could, the files there are as they were and the status
// tells why the usual name could not be written.
Status WriteInfoFile(const std::filesystem::path& setFolder, const std::string& sourceFolder);

// Finds the set that holds path and reads its information file.
InfoFileLookup ReadInfoFile(const std::filesystem::path& pathInSet);
// The backup message that tells a failed lookup's status.
int InfoFileMessage(const Status& status);

// The text of an information file: UTF-16LE when it holds zero bytes (a UTF-8
// text never does), else UTF-8; the first line only. valid is false for a text
// of two characters or fewer.
std::string DecodeInfoText(const std::string& bytes, bool& valid);

}  // namespace halvex
