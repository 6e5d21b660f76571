#pragma once

#include <filesystem>
#include <string>

#include "util/Status.h"

// A backup set's folder on the drive. Its name comes from a profile file on
// the drive, which anyone may have edited, so it is checked where it is used,
// and the folder is reached without following links: a set is only ever a
// real folder directly inside the drive's real "Backup" folder.
namespace halvex {

// Failure keys of the calls below; SetFolderMessage turns them into the
// backup message to show.
inline constexpr const char* kSetNameInvalidKey = "backup_set_name_invalid";
inline constexpr const char* kSetFolderLinkKey = "backup_set_folder_link";
inline constexpr const char* kSetFolderUndeletableKey = "backup_set_folder_undeletable";

// Ok when the name is a valid set name and neither the Backup folder nor the
// set folder, where they exist, is a link or anything but a folder.
Status CheckSetFolder(const std::filesystem::path& backupFolder, const std::string& setName);

// Removes the set folder and everything in it, walking by directory
// descriptors: a link inside is removed itself, never followed. Removes
// nothing when the name is invalid, or when the Backup folder or the set
// folder is a link. A set folder that does not exist is no failure.
Status DeleteSetFolder(const std::filesystem::path& backupFolder, const std::string& setName);

// The backup message number for a failure of the calls above.
int SetFolderMessage(const Status& status);

}  // namespace halvex
