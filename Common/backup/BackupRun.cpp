#include "backup/BackupRun.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "backup/BackupFileUtils.h"
#include "backup/BackupProfileStore.h"
#include "backup/BackupSetFolder.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "util/FileSystemFlush.h"

namespace halvex {

namespace bm = backup_message;

namespace {

// One flush for the whole run, after the batches' own: the names the last
// archives took, the rotations and the information file.
bool FlushDrive(const std::filesystem::path& folderOnDrive, const FileSystemFlusher& flush)
{
    const int fd = ::open(folderOnDrive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const int error = flush ? flush(fd) : FlushDriveAt(fd);
    ::close(fd);
    return error == 0;
}

}  // namespace

BackupRunResult RunBackupOfCurrentProfile(const BackupRunRequest& request, BackupProfileStore& store,
                                          BackupRunView& view, const BackupStrings& strings,
                                          const std::atomic<bool>& cancelRequested)
{
    BackupRunResult result;
    if (request.driveRoot.empty() || !FolderExists(request.driveRoot)) {
        result.message = bm::kNoDrive;
        return result;
    }
    const Result<BackupProfile> read = store.ReadCurrent();
    if (!read) {
        result.message = bm::kNoSettings;
        return result;
    }
    const BackupProfile& profile = read.value();
    if (const Status runnable = BackupProfileStore::CheckRunnable(profile); !runnable) {
        result.message = ProfileMessage(runnable);
        return result;
    }
    if (profile.sourceFolder.empty()) {
        result.message = bm::kNoSettings;
        return result;
    }
    const std::filesystem::path destination = request.driveRoot / KWBackupManager::kBackupFolder;
    if (const Status set = CheckSetFolder(destination, profile.setName); !set.ok) {
        result.message = SetFolderMessage(set);
        return result;
    }

    KWCallbackBackup callback(view, strings, cancelRequested);
    KWBackupManager engine(callback, strings);
    for (const auto& token : SplitExtensionList(profile.CombinedList()))
        engine.AddFilter(token, "anything", false);

    result.bytesNeeded =
        engine.ComputeSize(profile.sourceFolder, destination, request.clusterSize, profile.setName, &result.files);
    if (result.files == 0) {
        result.message = bm::kNothingToBackup;
        return result;
    }
    if (request.options.dryRun)
        return result;

    callback.SetMaximum(result.files);
    view.SetProgress(0, result.files);
    view.SetStatusText("Destination path: " + WithTrailingSlash(destination.string()));

    std::error_code error;
    const auto space = std::filesystem::space(request.driveRoot, error);
    if (!error && static_cast<std::int64_t>(space.available) <= result.bytesNeeded) {
        result.message = bm::kNoSpace;
        return result;
    }

    engine.Backup(profile.sourceFolder, destination, profile.setName, request.options);
    result.setName = profile.setName;
    result.sourceFolder = profile.sourceFolder;
    result.stored = engine.GetStoredCount();
    result.failed = engine.GetFailedCount();
    if (engine.IsDestinationGone()) {
        // The set is not whole: no last backup time, no "completed".
        view.SetStatusText({});
        result.message = bm::kNoDrive;
        return result;
    }
    // Done means on the drive, not in the page cache: a drive pulled right
    // after "completed" must not come back with empty archives.
    if (engine.GetFlushError() != 0 || !FlushDrive(destination / profile.setName, request.options.flush)) {
        view.SetStatusText({});
        result.message = bm::kNotDurable;
        return result;
    }

    if (const Status written = WriteLastBackupTime(store.ProfilePath(store.CurrentProfile()),
                                                   static_cast<std::int64_t>(std::time(nullptr)));
        !written)
        view.ShowMessage(strings.Message(bm::kProfileUnreadable) + " " + written.detail);
    view.SetProgress(0, result.files);
    view.SetStatusText({});
    // The engine's cancel comes only from the callbacks' answers: the window's
    // Cancel, or No to an error question; only the first earns message 11.
    result.message = cancelRequested.load() && engine.IsCancelled() ? bm::kCancelled : bm::kBackupDone;
    if (result.message == bm::kBackupDone)
        view.ShowMessage(strings.Message(bm::kBackupDone));
    return result;
}

}  // namespace halvex
