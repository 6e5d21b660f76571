#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "copy/CopyBatch.h"
#include "copy/FileCopier.h"
#include "sync/ItemData.h"
#include "sync/SyncCallback.h"
#include "sync/SyncControl.h"
#include "util/Status.h"
#include "util/Trash.h"

namespace halvex {

struct SyncRunOptions {
    bool log = false;  // "SyncLog"
    std::filesystem::path logPath;
    SyncPacing pacing;
    // The mount path of the file system a destination lies on, named in the
    // disk-full message. Unset: found by walking up to the mount point.
    std::function<std::filesystem::path(const std::filesystem::path&)> mountPath;
    // The two folders of the pair. When set, a folder that goes away during
    // the run (the drive pulled, the folder moved) stops it: nothing is
    // created in its place, so no copy lands where the drive used to be.
    std::filesystem::path computerFolder;
    std::filesystem::path driveFolder;
    // How many small files written to the drive share one flush, and the
    // flush itself (tests put a failing one in).
    CopyBatchBounds batch;
    FileSystemFlusher batchFlush;
    // Where a replaced destination goes; never null in a run. A file that
    // cannot go there is not replaced: its row fails with the reason.
    std::shared_ptr<Trash> trash = SystemTrash();
};

// How a run that did not go through ended (string-table keys).
// A full destination: a failure on the file that did not fit, with ENOSPC or
// EDQUOT as its system error. The message names the mount path (%s).
inline constexpr char kSyncDiskFullKey[] = "err_sync_disk_full";
// A folder of the pair went away and the run stopped. When the drive was
// written to and its flush at the end failed too, the system error is the
// flush's and the detail names the drive's folder.
inline constexpr char kSyncFolderGoneKey[] = "cli_sync_folder_gone";
// What was written to the drive could not be made durable; the system error
// is the flush's and the detail names the drive's folder.
inline constexpr char kSyncFlushFailedKey[] = "sync_flush_failed";

struct SyncRunSummary {
    std::uint32_t successes = 0;  // copied with their time stamps
    std::uint32_t failures = 0;
    std::uint32_t trashed = 0;  // replaced destinations moved to the trash
    // Ok when every row had its turn and what went to the drive was flushed;
    // otherwise the first that happened of: a folder gone, the flush failed,
    // the disk full, Status::Cancelled(), in this order.
    Status ended;

    // Whether the drive's flush at the end failed, also when a folder of the
    // pair went away with it.
    bool FlushFailed() const
    {
        return ended.messageKey == kSyncFlushFailedKey ||
               (ended.messageKey == kSyncFolderGoneKey && ended.systemError != 0);
    }
};

// The sync run: copies every checked row that is not yet synced, first to
// last, marks the good ones synced and lowers their direction's count. A full
// disk stops the run; any other failure of one file is counted and the run
// goes on. Cancel interrupts the copy in hand (its destination stays as it
// was) and ends the run. Temporary copies that an earlier run left in a
// destination folder (killed, or its drive pulled) are removed before the
// first copy into that folder.
//
// Problem rows of the scan are reported (log, OnRowFailed) and counted as
// failures, never copied. With the pair's folders set, both sides are
// entered folder by folder from them, never through a link, and a
// destination that changed since the scan is left alone. Files written to
// the drive are flushed before their rename, in batches (CopyBatch) of small
// files and alone when large, and the drive's file system once more at the
// end, before success is reported: a drive pulled right after holds complete
// files or none. A failed batch flush fails the batch's files and ends the
// run. A file replaced on the computer is flushed on its own.
class SyncRunner {
public:
    SyncRunner(SyncCallback& callback, const SyncControl& control, SyncRunOptions options);

    SyncRunSummary Run(std::vector<ItemData>& rows, ScanCounters& counters);

private:
    struct Folders;
    struct Pass;
    // `pending` set: a copy to the drive is written and left there for the batch.
    Status CopyRow(const ItemData& row, Folders& folders, const std::function<bool()>& pairThere, PendingCopy* pending,
                   std::uint32_t& trashed);
    void CopyOne(Pass& pass, std::size_t index);
    void Settle(Pass& pass, std::size_t index, const Status& copy);
    void Failed(Pass& pass, std::size_t index, const std::filesystem::path& path, const std::string& reason);
    void CommitBatch(Pass& pass);

    SyncCallback& m_callback;
    const SyncControl& m_control;
    SyncRunOptions m_options;
};

std::uint32_t CountChecked(const std::vector<ItemData>& rows);
// Removes the rows marked synced; returns how many went.
std::size_t RemoveSyncedRows(std::vector<ItemData>& rows);
// Recounts the checked rows per direction (problem rows are no copies).
void RecountDirections(const std::vector<ItemData>& rows, ScanCounters& counters);
// "sync_success" and "sync_fail" joined by an empty line, or "sync_none";
// "sync_trashed" when replaced files went to the trash, and
// "sync_flush_failed" when the drive could not be flushed, after them.
std::string SyncResultText(const SyncRunSummary& summary);
// The mount point of the file system that holds path (or its nearest existing parent).
std::filesystem::path MountPointOf(const std::filesystem::path& path);

}  // namespace halvex
