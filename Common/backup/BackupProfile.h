#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/BackupCategories.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

class BackupStrings;

// Restore destination choice of a profile.
enum class RestoreChoice : int { Desktop = 1, Original = 2, Other = 3 };

// One backup profile: what to back up, into which set, and where restores go.
struct BackupProfile {
    std::string sourceFolder;
    std::string setName;
    std::array<bool, 5> predefinedChecked{};
    std::array<std::string, 5> predefinedLists;  // "*" for All
    std::vector<UserCategory> userCategories;
    std::string macAddress;           // the identity text of the owning computer
    std::string machineName;          // read; written by the Mac build only
    std::string profileName;          // the Mac build's display name, read only
    std::int64_t lastBackupTime = 0;  // seconds since 1970, 0 = never
    RestoreChoice restoreChoice = RestoreChoice::Original;
    std::string restoreFolder;

    // A profile with the predefined lists of the string table, nothing checked.
    static BackupProfile WithDefaultLists(const BackupStrings& strings);

    std::string CombinedList() const
    {
        return CombinedExtensionList(predefinedChecked, predefinedLists, userCategories);
    }
    // The set name on Windows-keyed profiles, "ProfileName" on the Mac's.
    std::string DisplayName() const { return profileName.empty() ? setName : profileName; }
};

// Profile files are property lists written with the Windows program's key
// names in its order, so both builds on one drive understand them; the Mac
// build's keys are read as well.
namespace profile_key {
std::string Pair(const std::string& first, const std::string& second);  // "%s %s"
std::string UserCategory(std::size_t number);                           // "User Category%d"
inline constexpr const char* kMacAddress = "MacAddress";
inline constexpr const char* kMachineName = "MachineName";
}  // namespace profile_key

// Failure keys of the profile files; ProfileMessage (BackupProfileStore.h)
// turns them into the backup message to show.
inline constexpr const char* kProfileUnreadableKey = "backup_profile_unreadable";
inline constexpr const char* kProfileUnwritableKey = "backup_profile_unwritable";

// Reads a profile file; kProfileUnreadableKey with the file when it cannot be
// loaded.
Result<BackupProfile> ReadProfileFile(const std::filesystem::path& file, const BackupStrings& strings);
// Writes the whole profile (source, categories, identity) in the Windows
// order, from an empty property list, through a temporary file.
Status WriteProfileFile(const std::filesystem::path& file, const BackupProfile& profile);
// Updates single keys of an existing profile file, keeping every other key.
Status WriteRestoreSettings(const std::filesystem::path& file, const BackupProfile& profile);
Status WriteLastBackupTime(const std::filesystem::path& file, std::int64_t seconds);
// The write failures above and the index's: kProfileUnwritableKey, naming
// `file` and the system's reason whichever step of the write failed.
Status ProfileWriteFailure(const std::filesystem::path& file, const Status& failure);

}  // namespace halvex
