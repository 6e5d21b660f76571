#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sync/SyncCallback.h"
#include "util/Status.h"

namespace halvex {

inline constexpr std::string_view kSyncIndexFileName = "com.halvex.dravane.sync.plist";

// Where the suite lives and who this computer is.
struct SyncPlace {
    std::filesystem::path runPath;
    std::filesystem::path dataPath;
    std::string computerKey;  // the scrambled identity: this computer's entry name
};

// What the folder rules need to know of drives; filled from KMDevice by the
// programs, so this core stays free of the drive detection.
struct SyncDriveProbe {
    // True when the folder lies on a USB, removable or optical drive.
    std::function<bool(const std::filesystem::path&)> isRemovable;
    // Free bytes of the suite's drive; nullopt when unknown (no size question).
    std::function<std::optional<std::uint64_t>()> driveFreeBytes;
    // This user's own record, on this computer, of the folders chosen for
    // the drive: the folder the drive's index names is used without a
    // question only when this answers true. Unset: no record is kept and
    // every stored folder counts as chosen here (the programs always set it).
    std::function<bool(const std::filesystem::path&)> chosenHere;
    // Records a folder the user chose or confirmed on this computer.
    std::function<void(const std::filesystem::path&)> recordChoice;
};

struct SyncFolderPair {
    std::filesystem::path drive;     // the drive folder
    std::filesystem::path computer;  // this computer's folder
};

// The drive folder: the run path joined with the localised "sync_folder_usb".
// "Usb" in these two names, in the string-table keys ("sync_folder_usb",
// "sync_dir_usb", ...) and in ItemData::sourceUsb stands for the drive side,
// as the other editions name it; the sync code says "drive" everywhere else.
// A table value that is not one plain name (empty, ".", "..", or holding a
// slash) must not lead the sync out of the run path: the English name is
// used instead.
std::filesystem::path SyncUsbPath(const std::filesystem::path& runPath);
std::string SyncUsbFolderName();
std::filesystem::path SyncIndexPath(const std::filesystem::path& dataPath);

// This computer's entry of the index file; empty when none (or not absolute).
std::string ReadComputerFolder(const std::filesystem::path& indexPath, std::string_view computerKey);
// Sets this computer's entry and saves the file; other entries are kept as
// they are. A damaged index file is first kept aside as "<name>.damaged" so
// the other computers' choices are not lost by rewriting it.
[[nodiscard]] Status WriteComputerFolder(const std::filesystem::path& indexPath, std::string_view computerKey,
                                         const std::filesystem::path& folder);

// The chooser's rules for a picked folder: it must exist, lie on a fixed or
// network drive ("sync_browse_bad_folder"), be writable
// ("sync_browse_folder_locked"), and neither hold nor lie inside the drive folder.
[[nodiscard]] Status CheckBrowsedFolder(const std::filesystem::path& folder, const std::filesystem::path& driveFolder,
                                        const SyncDriveProbe& probe);
// The chooser's OK: when the folder's contents are larger than the drive's
// free space, asks "sync_folder_big" (No the default). True when accepted.
bool ConfirmFolderSize(const std::filesystem::path& folder, const SyncDriveProbe& probe, SyncCallback& callback);

// Resolves the pair when sync starts: creates the drive folder, reads this
// computer's folder, asks "sync_folder_gone" or runs the chooser as needed.
// The folder read from the drive's index gets the chooser's checks: one that
// fails them is named with the reason ("sync_stored_folder_bad") and the
// chooser asked for another. A folder this user has not chosen here
// (probe.chosenHere) is shown and asked about ("sync_stored_folder_confirm",
// No the default): Yes records and uses it, No runs the chooser, Abandon
// ends. A folder the chooser gives is recorded. Shows its own messages;
// nullopt when sync must not go on.
std::optional<SyncFolderPair> GetFolderInfo(const SyncPlace& place, SyncCallback& callback,
                                            const SyncDriveProbe& probe = {});

// The first "<drive folder>_Old<n>", n from 1, that does not exist.
std::filesystem::path FirstFreeAsideName(const std::filesystem::path& driveFolder, int& n);

enum class FolderChange {
    Unchanged,  // the same folder was stored already
    Stored,     // the new folder is this computer's
    Abandoned,  // the set-aside failed or was refused: nothing stored
};

// Whether a folder equal to the stored one counts as no change (the
// preferences page) or is stored afresh with the question (the first-run
// setup, which starts the pairing over whatever was stored).
enum class StoredFolder { Compare, Ignore };

// A change of the computer folder. When the drive folder holds data, asks
// "sync_folder_ask_rename"; Yes moves it aside as "%s_Old%d" and starts an
// empty one. Abandon as the answer changes nothing.
FolderChange SetSyncFolder(const SyncPlace& place, const std::filesystem::path& folder, SyncCallback& callback,
                           StoredFolder stored = StoredFolder::Compare);

}  // namespace halvex
