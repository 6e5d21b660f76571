#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "copy/CopyBatch.h"

namespace halvex {

class BackupStrings;
class BackupRunView;

// What the backup commands of `dravane` need from the program: where the
// drive and its data folder are, who this computer is, and the terminal.
struct BackupCommandContext {
    std::filesystem::path dataFolder;     // "Halvex Data" on the drive
    std::filesystem::path driveRoot;      // the drive's mount; empty: no drive
    std::uint64_t clusterSize = 0;        // the drive's allocation block
    std::string identity;                 // this computer's identity text
    std::filesystem::path desktopFolder;  // empty: none found
    const BackupStrings* strings = nullptr;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    std::istream* in = nullptr;
    bool terminal = false;                      // progress and questions on a terminal
    const std::atomic<bool>* cancel = nullptr;  // set by Ctrl-C
    BackupRunView* view = nullptr;              // progress and questions; null: plain streams
    unsigned archiveThreads = 0;
    FileSystemFlusher flush;           // the drive's flush; unset: syncfs
    std::filesystem::path homeFolder;  // the user's home: original folders must lie in it
    // This user's own record on this computer: whether the set was backed
    // up from the folder here; unset: never.
    std::function<bool(const std::string& set, const std::filesystem::path& folder)> backedUpHere;
    // Records that the set was backed up from the folder here.
    std::function<void(const std::string& set, const std::filesystem::path& folder)> recordBackup;
};

// Exit codes: 0 done, 1 some files failed, 2 the command failed.
inline constexpr int kExitDone = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitFailed = 2;

// `dravane profile list|create|select|delete ...`
int RunProfileCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);
// `dravane backup [--dry-run] [--on-error skip|stop]`
int RunBackupCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);
// `dravane restore --set NAME ... (--original | --desktop | --to DIR)`
int RunRestoreCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);

// The usage lines of the three commands.
std::string BackupCommandsUsage();

}  // namespace halvex
