// The backup commands' shared pieces: what they need from start-up, their entry points, usage and failures.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "Command.h"
#include "copy/CopyBatch.h"

namespace halvex {
class BackupStrings;
class BackupRunView;
}  // namespace halvex

namespace halvex::cli {

class Context;

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
    std::optional<unsigned> archiveThreads;     // unset: the engine's own choice
    FileSystemFlusher flush;                    // the drive's flush; unset: syncfs
    std::filesystem::path homeFolder;           // the user's home: original folders must lie in it
    // This user's own record on this computer: whether the set was backed
    // up from the folder here; unset: never.
    std::function<bool(const std::string& set, const std::filesystem::path& folder)> backedUpHere;
    // Records that the set was backed up from the folder here.
    std::function<void(const std::string& set, const std::filesystem::path& folder)> recordBackup;
};

// A backup command: the options after its name, the context; answers an
// ExitStatus (kExitFailures: some files failed, kExitFailed: the command did not).
using BackupCommandRun = int (*)(const std::vector<std::string>& arguments, const BackupCommandContext& context);

// `dravane profile list|create|select|delete ...` (ProfileCommand.cpp)
int RunProfileCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);
// `dravane backup [--dry-run] [--on-error skip|stop]` (BackupCommand.cpp)
int RunBackupCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);
// `dravane restore --set NAME ... (--original | --desktop | --to DIR)` (RestoreCommand.cpp)
int RunRestoreCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context);

// Runs a backup command with the drive, data folder, identity and console
// of dravane's start-up.
int RunWithBackupContext(Context& context, const std::vector<std::string>& options, BackupCommandRun command);

// The usage lines of the three commands.
std::string BackupCommandsUsage();

// Whether a failure's message is followed by its explanation line.
enum class Explanation { Shown, Left };

// Prints the backup string table's message (and explanation); answers kExitFailed.
int FailWithMessage(const BackupCommandContext& context, int message, Explanation explanation = Explanation::Shown);
// Prints the problem and the usage lines; answers kExitFailed.
int FailWithUsage(const BackupCommandContext& context, const std::string& problem);

}  // namespace halvex::cli
