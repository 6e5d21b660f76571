#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "backup/BackupProfile.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

class BackupStrings;

// Failure keys of the store beside those of the profile files
// (BackupProfile.h); ProfileMessage turns them into the backup message to show.
inline constexpr const char* kNoProfileKey = "backup_no_profile";
inline constexpr const char* kProfileDamagedKey = "backup_profile_damaged";
inline constexpr const char* kProfileEmptyListKey = "backup_profile_empty_list";
inline constexpr const char* kProfileUndeletableKey = "backup_profile_undeletable";

// The profile index and the numbered profile files in the data folder.
class BackupProfileStore {
public:
    static constexpr const char* kIndexFileName = "com.halvex.pellory.backup.plist";
    static constexpr const char* kProfilePrefix = "com.halvex.pellory.backup.profile";
    static constexpr const char* kMaxKey = "Max Profile Number";
    static constexpr const char* kCurrentKey = "Current Profile Number";

    BackupProfileStore(std::filesystem::path dataFolder, const BackupStrings& strings);

    std::filesystem::path IndexPath() const;
    std::filesystem::path ProfilePath(int number) const;

    // Loads the index; when it cannot be loaded it is written with the values
    // held (0 and 0 at first, the maximum raised to the highest profile file
    // in the folder) and read again.
    Status ReadIndex();
    Status WriteIndex() const;
    int MaxProfile() const { return m_nMaxProfile; }
    int CurrentProfile() const { return m_nCurrentProfile; }
    void SetCurrentProfile(int number) { m_nCurrentProfile = number; }

    // Reads profile N (from 1); kProfileUnreadableKey with the file's path
    // when it cannot be read.
    Result<BackupProfile> Read(int number) const;
    // Reads the current profile; kNoProfileKey when none is current.
    Result<BackupProfile> ReadCurrent() const;
    // Whether a profile that was read may be run: kProfileDamagedKey when its
    // set name is no valid folder name (so it is neither run nor deleted, but
    // may still be edited), kProfileEmptyListKey when no category gives an
    // extension.
    static Status CheckRunnable(const BackupProfile& profile);

    // True when profile N belongs to the computer with this identity text.
    bool BelongsHere(int number, const std::string& identity, std::string* displayName = nullptr) const;
    // The numbers of this computer's profiles, in number order.
    std::vector<int> ProfilesOf(const std::string& identity) const;

    // A new profile takes number max + 1 and becomes current; its last backup
    // time is 0 and its restore choice 2. Writes the profile, its restore
    // settings and the index. Answers its number.
    Result<int> Create(BackupProfile profile);
    // Deletes profile N: its file goes, the last file moves into the gap, and
    // max and current both become max - 1.
    Status Delete(int number);

private:
    std::filesystem::path m_pathData;
    const BackupStrings& m_strings;
    int m_nMaxProfile = 0;
    int m_nCurrentProfile = 0;
};

// The backup message for a failure of the store: 55 for a profile or index
// that cannot be read or written, 61 for a damaged one, 14 for no profile or
// an empty list, 30 for one that cannot be deleted.
int ProfileMessage(const Status& status);

}  // namespace halvex
