#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace halvex {

// How the drive treats the names a backup writes there: archive names
// ("NAME.zip") and folder names. On a drive that folds case, `X.doc.zip` and
// `x.doc.zip` are one file, so one file's generations would push out the
// other's; such a drive is a FAT-family one (or NTFS), whose name limits
// apply as well.
struct DriveNameRules {
    bool foldsCase = false;
    bool fatNames = false;

    // The rules of the folder, or of its nearest existing parent folder.
    static DriveNameRules Of(const std::filesystem::path& folderOnDrive);
};

// For the names one folder writes, in order of precedence (an empty name is
// not written and not checked): 0 when the drive holds the name beside the
// earlier ones, else the backup message refusing it.
std::vector<int> RefusedDriveNames(const std::vector<std::string>& names, const DriveNameRules& rules);

}  // namespace halvex
