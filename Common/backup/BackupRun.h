#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "backup/BackupCallbacks.h"
#include "backup/KWBackupManager.h"

namespace halvex {

class BackupProfileStore;
class BackupStrings;

// Where the backup of the current profile goes, and the engine's settings
// for it (a dry run counts and measures only; the flusher also makes the
// whole run durable at its end).
struct BackupRunRequest {
    std::filesystem::path driveRoot;  // the drive's mount; empty: no drive
    std::uint64_t clusterSize = 0;    // the drive's allocation block; 0: 65536
    BackupRunOptions options;
};

struct BackupRunResult {
    int message = 0;               // the run's closing message number
    std::uint32_t files = 0;       // files the dry run counted
    std::int64_t bytesNeeded = 0;  // net bytes, rounded to clusters
    std::uint32_t stored = 0;
    std::uint32_t failed = 0;
    // Set once the set's information file names the source: the set and
    // the folder backed up into it, for the caller's record on this computer.
    std::string setName;
    std::filesystem::path sourceFolder;
    bool completed() const { return message == 29; }
};

// The backup of the current profile, as the backup progress window and
// `dravane backup` run it on a worker: checks, dry run, free-space check, the
// run, the last backup time. Messages 13, 14, 38 and 15 end it before
// anything is written; 29 or 11 end a run.
BackupRunResult RunBackupOfCurrentProfile(const BackupRunRequest& request, BackupProfileStore& store,
                                          BackupRunView& view, const BackupStrings& strings,
                                          const std::atomic<bool>& cancelRequested);

}  // namespace halvex
