#pragma once

#include <filesystem>
#include <set>
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
// others, else the backup message refusing it. A name the folder on the drive
// already holds in exactly that spelling comes first: its stored copies are
// its own, and a newcomer equal but for case must not push them down.
std::vector<int> RefusedDriveNames(const std::vector<std::string>& names, const DriveNameRules& rules,
                                   const std::set<std::string>& onDrive = {});

}  // namespace halvex
