#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/DriveNameRules.h"
#include "copy/CopyBatch.h"
#include "copy/FileDescriptor.h"
#include "backup/FileRecords.h"
#include "backup/KWCallback.h"
#include "util/FolderWatch.h"
#include "util/Status.h"
#include "util/Trash.h"

namespace halvex {
class ArchivePool;
class BackupStrings;
struct UnpackedArchive;

// The settings of a backup run (KWBackupManager::Backup); callers set them
// by name. What the run stores and where are Backup's own arguments.
struct BackupRunOptions {
    // Count and measure only: nothing is written (the dry runs,
    // GetNumFilesToBackup and ComputeSize, are this for themselves).
    bool dryRun = false;
    // Threads that write archives ahead of the walk; 0 writes each on the
    // engine's thread when its turn comes. Unset: one per core, at most four.
    std::optional<unsigned> archiveThreads;
    // Finished archives wait under their temporary names for one flush of
    // the drive per batch before they take their names; a flush that fails
    // fails its batch and stops the run. No flusher: syncfs.
    CopyBatchBounds batch;
    FileSystemFlusher flush;
};

// The settings of a restore run (KWBackupManager::RestoreFromFilesPool);
// callers set them by name. The archives are the engine's restore pool.
struct RestoreRunOptions {
    // The folder every file goes into; empty: each file back to the folder
    // it was backed up from, as the set's information file names it.
    std::filesystem::path target;
    // Entries below this folder keep their folders below the target (a
    // recursive restore); empty: every file lands in the target itself.
    std::filesystem::path base;
    // The folder the user chose the restore into: the folders below it are
    // entered or made only as real folders, never through a link. Empty: the
    // target itself, or for a restore to the original folders every folder
    // from the root.
    std::filesystem::path writeBoundary;
    // Threads that unpack archives ahead of the placing and the questions;
    // 0 unpacks each on the engine's thread. Unset: one per core, at most four.
    std::optional<unsigned> archiveThreads;
    // Where a file the restore replaces goes; never null. A file that cannot
    // go there is not replaced.
    std::shared_ptr<Trash> trash = SystemTrash();
    // Files put onto the drive that holds the set wait for one flush of the
    // drive per batch before they take their names, as a backup's archives
    // do; a restore onto another volume (the computer's) places each file at
    // once, unflushed.
    CopyBatchBounds batch;
    FileSystemFlusher flush;
};

}  // namespace halvex

// The backup and restore engine. A backup walks the source folder, keeps the
// files whose extension is in the filter set and stores each as a one-file zip
// archive in "Current Backup" of the set; a changed file pushes its stored
// copies down to "Recent Backup" and "Old Backup". A restore unpacks archives
// of the restore pool. Progress and questions go through the callback; the
// engine runs on the caller's thread (a worker of the window or the CLI).
class KWBackupManager {
public:
    static constexpr const char* kBackupFolder = "Backup";
    static constexpr const char* kCurrentBackup = "Current Backup";
    static constexpr const char* kRecentBackup = "Recent Backup";
    static constexpr const char* kOldBackup = "Old Backup";
    // The key of a folder the system refused to make; something other than a
    // folder where one belongs fails with kSetFolderLinkKey (BackupSetFolder.h).
    static constexpr const char* kFolderUncreatableKey = "backup_folder_uncreatable";

    explicit KWBackupManager(KWCallback& callback);
    KWBackupManager(KWCallback& callback, const halvex::BackupStrings& strings);
    virtual ~KWBackupManager();
    KWBackupManager(const KWBackupManager&) = delete;
    KWBackupManager& operator=(const KWBackupManager&) = delete;

    // The filter set. Every extension is held once, under the category that
    // added it first; both_cases also adds its lower- and upper-case forms.
    void AddFilter(const std::string& extension, const std::string& category, bool both_cases = false);
    // The category of the current extension, or the text of message 40.
    std::string find_category() const;
    const std::vector<std::string>& GetFilters() const { return m_vecFilters; }

    bool IsCancelled() const { return m_bCancel; }
    // The set folder went away during the last run (the drive pulled, the
    // folder moved): the run stopped at the first file that failed then.
    bool IsDestinationGone() const { return m_bDestinationGone; }
    // The errno of the flush that failed in the last run, 0 when none did:
    // the archives of its batch were not stored, and the run stopped.
    int GetFlushError() const { return m_nFlushError; }

    // Runs a backup of source into destination/set_name (or a dry run when
    // the options say so). False when the run was cancelled, or stopped by a
    // drive that went or could not be flushed. Not a Status:
    // every failure on the way has been reported through the callbacks and
    // counted (GetFailedCount), and a run that failed at every file still ran
    // to the end.
    bool Backup(const std::filesystem::path& source, const std::filesystem::path& destination,
                const std::string& set_name, const halvex::BackupRunOptions& options = {});
    // Dry runs: the number of files the backup would store, and the net bytes
    // it needs with every size rounded up to whole clusters.
    std::uint32_t GetNumFilesToBackup(const std::filesystem::path& source, const std::filesystem::path& destination,
                                      const std::string& set_name);
    std::int64_t ComputeSize(const std::filesystem::path& source, const std::filesystem::path& destination,
                             std::uint64_t cluster_size, const std::string& set_name,
                             std::uint32_t* file_count = nullptr);
    // A collecting dry run of source: the files a backup would take, with categories.
    std::vector<FileDetails> CollectDetails(const std::filesystem::path& source);
    // Writes the set's information file naming the folder backed up into it
    // (WriteInfoFile's failure: the file and the system's reason).
    halvex::Status store_original_folder(const std::filesystem::path& set_folder, const std::filesystem::path& source);

    // Restore.
    void AddFileToRestorePool(const std::filesystem::path& archive);
    const std::vector<std::string>& GetRestorePool() const { return m_vecRestorePool; }
    // Restores the pool as the options say. False when the restore stopped
    // early: cancelled, or a fatal failure already reported through the
    // callbacks.
    bool RestoreFromFilesPool(const halvex::RestoreRunOptions& options);
    // True when the information file of the set holding path can be read.
    bool ExistsOriginalBackupFolder(const std::filesystem::path& path);
    // The folder backed up into the set that holds path, empty after
    // reporting the failure (unless reporting is off).
    std::filesystem::path ReadOriginalFolder(const std::filesystem::path& path);

    // What the last run did, for the callers' summaries and exit codes.
    std::uint32_t GetStoredCount() const { return m_nStored; }
    std::uint32_t GetFailedCount() const { return m_nFailed; }
    std::uint32_t GetSkippedCount() const { return m_nSkipped; }
    std::uint32_t GetFileCount() const { return m_nFileCount; }

private:
    // An archive written ahead by the pool, waiting for its turn to be placed.
    struct PendingArchive {
        std::filesystem::path sourceFolder;
        std::filesystem::path destinationFolder;
        std::string name;
        std::vector<std::string> subfolders;
        std::filesystem::path temporary;
        std::future<halvex::Status> written;
    };
    // An archive complete under its temporary name, waiting for its batch's flush.
    struct ReadyArchive {
        std::filesystem::path sourceFolder;
        std::filesystem::path destinationFolder;
        std::string name;
        std::vector<std::string> subfolders;
        std::filesystem::path temporary;
    };
    // An archive unpacked ahead by the pool, waiting for its questions and its place.
    struct PendingRestore {
        std::filesystem::path archive;
        std::filesystem::path sourceFolder;
        std::filesystem::path destinationFolder;
        std::string name;
        std::string storedName;
        std::shared_ptr<halvex::UnpackedArchive> unpacked;
        std::future<halvex::Status> done;
    };

    // An unpacked archive, its questions answered, waiting for its batch's
    // flush: a restore onto the drive that holds the set.
    struct ReadyRestore {
        std::filesystem::path archive;
        std::filesystem::path destination;
        std::shared_ptr<halvex::UnpackedArchive> unpacked;
    };

    // Folders are named without a trailing separator; the messages show them with a "/".
    void copy_folders(const std::filesystem::path& source, const std::filesystem::path& destination);
    void move_file(const std::filesystem::path& source_folder, const std::filesystem::path& destination_folder,
                   const std::string& name);
    // Makes the folder where it is missing. Fails when something other than
    // a real folder (a link, a file) stands there, so nothing is written
    // through it, or when the system refuses to make it.
    halvex::Status create_folder(const std::filesystem::path& folder);
    halvex::Status create_subfolders(const std::filesystem::path& base, const std::vector<std::string>& stack);
    // A folder of the set that cannot be written into: its files are not tried.
    void refuse_folder(const halvex::Status& made, const std::filesystem::path& source,
                       const std::filesystem::path& folder);
    // One entry is not backed up: a failure with its message and the path shown.
    void refuse_entry(int message, const std::string& shown);
    // Per file, then per folder: 0, or the message refusing its name in the
    // destination folder on the drive.
    std::vector<int> refused_names(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                                   const std::filesystem::path& destination) const;
    // The folder of a generation of the set for the subfolders in stack.
    std::filesystem::path generation_folder(const char* generation, const std::vector<std::string>& stack) const;
    void store_details(const std::filesystem::path& folder, const std::string& name);

    void move_stored(const std::filesystem::path& source_folder, const std::filesystem::path& destination_folder,
                     const std::string& name, const std::vector<std::string>& stack);
    void schedule_archive(const std::filesystem::path& source_folder, const std::filesystem::path& destination_folder,
                          const std::string& name);
    void place_archive(PendingArchive& pending);
    void discard_archive(PendingArchive& pending);
    void drain_pending();
    // The pool of the run that starts: threads as the options say (none: no pool).
    void prepare_pool(const std::optional<unsigned>& threads);
    void commit_ready();
    void place_ready(const ReadyArchive& ready);
    // An item of the set as the run reaches it: from the set folder it
    // opened, so a batch is placed in the folder the run found, never in
    // whatever stands at its path now. Other paths, and dry runs, as given.
    struct SetItem {
        int folderFd;
        std::string path;
    };
    SetItem in_set(const std::filesystem::path& item) const;
    bool exists_in_set(const std::filesystem::path& item) const;
    void remove_temporary(const std::filesystem::path& temporary) const;
    void schedule_restore(const std::filesystem::path& entry, const std::filesystem::path& sourceFolder,
                          const std::filesystem::path& destinationFolder, const std::string& name,
                          const std::string& storedName);
    void place_next_restore();
    void discard_restore(PendingRestore& pending);
    void drain_restores();
    void commit_restores();
    void place_restore(const ReadyRestore& ready);
    bool report_error(const std::string& text);
    bool stop_if_destination_gone();
    void report_fatal(int message);
    std::string message(int number) const;

    const halvex::BackupStrings& m_strings;
    std::uint32_t m_nDepth = 0;
    std::uint32_t m_nFileCount = 0;
    bool m_bCancel = false;
    bool m_bDryRun = false;
    bool m_bFileDone = false;
    bool m_bCollecting = false;
    bool m_bReportErrors = true;
    std::filesystem::path m_pathSetFolder;
    KWCallback& m_callback;
    std::vector<FileDetails> m_vecDetails;
    std::string m_strCurrentExtension;
    std::vector<std::string> m_vecFilters;
    std::vector<std::string> m_vecRestorePool;
    std::vector<std::string> m_vecSubfolderStack;
    std::map<std::string, std::vector<std::string>> m_mapCategories;
    std::vector<std::uint64_t> m_vecBytesToWrite;
    std::vector<std::uint64_t> m_vecBytesToFree;

    std::string m_strRestoreBase;               // of the restore in hand, with a trailing "/"
    std::filesystem::path m_pathBackupFolder;   // absolute
    std::filesystem::path m_pathCheckedFolder;  // the last destination folder move_file made sure of
    std::set<std::string> m_setCountedFolders;
    std::unique_ptr<halvex::ArchivePool> m_pool;
    std::shared_ptr<halvex::Trash> m_trash;  // of the restore in hand
    std::deque<PendingArchive> m_dequePending;
    std::vector<ReadyArchive> m_vecReady;
    std::uint64_t m_nReadyBytes = 0;
    halvex::CopyBatchBounds m_batchBounds;
    halvex::FileSystemFlusher m_flush;
    halvex::FileDescriptor m_setFolder;  // open during a run that writes
    int m_nFlushError = 0;
    std::deque<PendingRestore> m_dequeRestores;
    std::multiset<std::string> m_setRestoreTargets;  // destinations of m_dequeRestores and m_vecRestoresReady
    std::vector<ReadyRestore> m_vecRestoresReady;
    std::atomic<bool> m_bAbandon{false};
    std::uint32_t m_nStored = 0;
    std::uint32_t m_nFailed = 0;
    std::uint32_t m_nSkipped = 0;
    bool m_bDestinationGone = false;
    bool m_bWatching = false;             // m_setWatch holds this run's set folder
    halvex::FolderWatch m_setWatch;       // the set folder as the run found it
    halvex::DriveNameRules m_driveNames;  // of the set folder, learnt at the start of a run
};
