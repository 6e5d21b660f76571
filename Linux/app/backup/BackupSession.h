#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "backup/BackupProfile.h"
#include "backup/BackupProfileStore.h"
#include "backup/BackupStrings.h"
#include "app/backup/BackupText.h"

namespace halvex::app {

// What every backup window shares: the string table, the profile store, the
// current profile and the drive. Held by the backup window; the child windows
// reach it through their owner.
struct BackupSession {
    BackupSession(const std::filesystem::path& dataFolder, std::filesystem::path drive, std::uint64_t cluster,
                  std::string identityText);

    QString Message(int number) const { return BackupMessage(strings, number); }
    QString Label(int number) const { return BackupLabel(strings, number); }
    // A message and the file it names, or the failure's detail.
    template <typename About>
    QString MessageAbout(int number, const About& about) const
    {
        return BackupMessageAbout(strings, number, about);
    }
    std::filesystem::path BackupFolder() const { return driveRoot / "Backup"; }
    std::filesystem::path CurrentProfilePath() const { return store.ProfilePath(store.CurrentProfile()); }
    // Reads the current profile into `profile`, damaged or not: a damaged one
    // may still be edited. Fails as the read, or as CheckRunnable when the
    // profile was read; `profile` stays as it was when it could not be read.
    Status LoadCurrentProfile();

    BackupStrings strings;
    BackupProfileStore store;
    BackupProfile profile;
    std::filesystem::path driveRoot;
    std::uint64_t clusterSize = 0;
    std::string identity;
    std::filesystem::path desktopFolder;
    std::filesystem::path homeFolder;  // a set's original folder must lie in it
    // This user's own record on this computer: whether the set was backed
    // up from the folder here; unset: never.
    std::function<bool(const std::string& set, const std::filesystem::path& folder)> backedUpHere;
    // Records that the set was backed up from the folder here.
    std::function<void(const std::string& set, const std::filesystem::path& folder)> recordBackup;
};

}  // namespace halvex::app
