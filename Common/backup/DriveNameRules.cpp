#include "backup/DriveNameRules.h"

#include "backup/BackupStrings.h"
#include "util/NameFolding.h"

namespace halvex {

DriveNameRules DriveNameRules::Of(const std::filesystem::path& folderOnDrive)
{
    // A dry run looks before the set folder exists.
    std::filesystem::path folder = folderOnDrive;
    std::error_code error;
    while (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        if (!folder.has_relative_path() || folder == folder.parent_path())
            return {};
        folder = folder.parent_path();
    }
    if (folder.empty())
        return {};
    DriveNameRules rules;
    rules.foldsCase = FoldsCase(folder);
    rules.fatNames = rules.foldsCase;
    return rules;
}

std::vector<int> RefusedDriveNames(const std::vector<std::string>& names, const DriveNameRules& rules,
                                   const std::set<std::string>& onDrive)
{
    std::vector<int> refused(names.size(), 0);
    std::set<std::string> held;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            continue;
        if (rules.fatNames && !FatNameProblem(names[i]).empty())
            refused[i] = backup_message::kNameNotOnDrive;
        else if (rules.foldsCase && onDrive.count(names[i]))
            held.insert(FoldedName(names[i]));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty() || refused[i] || (rules.foldsCase && onDrive.count(names[i])))
            continue;
        if (rules.foldsCase && !held.insert(FoldedName(names[i])).second)
            refused[i] = backup_message::kCaseClash;
    }
    return refused;
}

}  // namespace halvex
