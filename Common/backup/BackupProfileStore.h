#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "backup/BackupProfile.h"
#include "util/Status.h"

namespace halvex {

class BackupStrings;

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
    bool ReadIndex();
    [[nodiscard]] bool WriteIndex() const;
    int MaxProfile() const { return m_nMaxProfile; }
    int CurrentProfile() const { return m_nCurrentProfile; }
    void SetCurrentProfile(int number) { m_nCurrentProfile = number; }

    enum class ReadResult { Ok, NoProfile, Unreadable, Damaged, EmptyList };
    // Reads the current profile. Unreadable: message 55 with the path;
    // Damaged: its set name is no valid folder name (message 61), so the
    // profile is neither run nor deleted; EmptyList: no category gives an
    // extension (message 14 for a run).
    ReadResult ReadCurrent(BackupProfile& profile) const;
    bool Read(int number, BackupProfile& profile) const;

    // True when profile N belongs to the computer with this identity text.
    bool BelongsHere(int number, const std::string& identity, std::string* displayName = nullptr) const;
    // The numbers of this computer's profiles, in number order.
    std::vector<int> ProfilesOf(const std::string& identity) const;

    // A new profile takes number max + 1 and becomes current; its last backup
    // time is 0 and its restore choice 2. Writes the profile, its restore
    // settings and the index.
    Status Create(BackupProfile profile, int& number);
    // Deletes profile N: its file goes, the last file moves into the gap, and
    // max and current both become max - 1.
    Status Delete(int number);

private:
    std::filesystem::path m_pathData;
    const BackupStrings& m_strings;
    int m_nMaxProfile = 0;
    int m_nCurrentProfile = 0;
};

}  // namespace halvex
