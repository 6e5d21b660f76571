#include "sync/SyncRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "copy/FileDescriptor.h"
#include "copy/LeftoverCopies.h"
#include "strings/KXStrings.h"
#include "sync/SyncLog.h"
#include "sync/SyncProblem.h"
#include "sync/SyncRoots.h"
#include "util/FileSystemFlush.h"
#include "util/FolderWatch.h"
#include "util/IgnoreResult.h"

namespace halvex {

namespace {

std::string CountText(std::uint32_t processed, std::uint32_t total)
{
    return KXStrings::Format("sync_progress_count", processed, total);
}

// The pair's two folders as the run found them; an unset one is not watched.
class PairWatch {
public:
    PairWatch(const std::filesystem::path& computer, const std::filesystem::path& drive)
    {
        for (const auto& folder : {computer, drive}) {
            if (!folder.empty())
                IgnoreResult(m_folders.emplace_back().Watch(folder), "an unwatched folder is never still there");
        }
    }

    bool StillThere() const
    {
        return std::all_of(m_folders.begin(), m_folders.end(),
                           [](const FolderWatch& folder) { return folder.StillThere(); });
    }

private:
    std::vector<FolderWatch> m_folders;
};

// A row's folder below its side's folder of the pair; empty when the row
// does not lie inside it.
std::optional<std::filesystem::path> FolderBelow(const std::filesystem::path& item, const std::filesystem::path& root)
{
    const std::filesystem::path relative = item.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..")
        return std::nullopt;
    return relative.parent_path();
}

}  // namespace

// The pair's folders, opened once per run; -1 when the options name none.
struct SyncRunner::Folders {
    FileDescriptor computer;
    FileDescriptor drive;
    int openError = 0;
    bool wroteToDrive = false;
    std::set<std::filesystem::path> cleaned;
};

SyncRunner::SyncRunner(SyncCallback& callback, const SyncControl& control, SyncRunOptions options)
    : m_callback(callback), m_control(control), m_options(std::move(options))
{}

// Copies one row. With the pair's folders known, both sides are entered
// from them by descriptor; otherwise (rows made by hand) by path.
Status SyncRunner::CopyRow(const ItemData& row, Folders& folders, const std::function<bool()>& pairThere,
                           std::uint32_t& trashed)
{
    const bool toDrive = !row.sourceUsb;
    FileDescriptor sourceFolder;
    FileDescriptor targetFolder;
    bool created = false;
    if (!m_options.computerFolder.empty() && !m_options.driveFolder.empty()) {
        const std::filesystem::path& sourceRoot = row.sourceUsb ? m_options.driveFolder : m_options.computerFolder;
        const std::filesystem::path& targetRoot = row.sourceUsb ? m_options.computerFolder : m_options.driveFolder;
        const FileDescriptor& sourceFd = row.sourceUsb ? folders.drive : folders.computer;
        const FileDescriptor& targetFd = row.sourceUsb ? folders.computer : folders.drive;
        const auto sourceBelow = FolderBelow(row.path, sourceRoot);
        const auto targetBelow = FolderBelow(row.dstPath, targetRoot);
        if (!sourceBelow || !targetBelow)
            return Status::FailErrno(kCopyFailedKey, row.path, EINVAL);
        if (!sourceFd.IsOpen() || !targetFd.IsOpen())
            return Status::FailErrno(kCopyFailedKey, sourceFd.IsOpen() ? targetRoot : sourceRoot, folders.openError);
        sourceFolder = FileDescriptor(OpenFolderBelow(sourceFd.Get(), *sourceBelow, MissingFolders::Fail, created));
        if (!sourceFolder.IsOpen())
            return Status::FailErrno(kCopyFailedKey, row.path.parent_path(), errno);
        targetFolder = FileDescriptor(OpenFolderBelow(targetFd.Get(), *targetBelow, MissingFolders::Create, created));
    } else {
        std::error_code ec;
        sourceFolder = FileDescriptor(::open(row.path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!sourceFolder.IsOpen())
            return Status::FailErrno(kCopyFailedKey, row.path.parent_path(), errno);
        created = std::filesystem::create_directories(row.dstPath.parent_path(), ec);
        if (ec)
            return Status::FailErrno(kCopyFailedKey, row.dstPath.parent_path(), ec.value());
        targetFolder = FileDescriptor(::open(row.dstPath.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (created && toDrive)
        folders.wroteToDrive = true;
    if (!targetFolder.IsOpen())
        return Status::FailErrno(kCopyFailedKey, row.dstPath.parent_path(), errno);
    if (folders.cleaned.insert(row.dstPath.parent_path()).second)
        RemoveLeftoverCopies(row.dstPath.parent_path());

    CopyOptions options;
    options.keepTimes = true;
    // Flushing before the rename protects the good copy a new one replaces,
    // and on the drive keeps a file pulled out right after from standing
    // there empty with the source's time, which later scans take as in sync.
    struct stat existing {};
    options.durable =
        toDrive || ::fstatat(targetFolder.Get(), row.dstPath.filename().c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    ExpectedDestination expected{row.dstExists, row.dstSize, row.dstTimeNs};
    if (row.dstScanned)
        options.expected = &expected;
    // The folders are open, so a pair moved away meanwhile would still take
    // the copy: the same check as between files, once more at the end.
    options.stillWanted = pairThere;
    // The newer copy wins, and the older one it replaces goes to the trash.
    options.setAside = [this, &row, &trashed](int folderFd, const std::string& name) {
        Status moved = m_options.trash ? m_options.trash->Discard(folderFd, name, row.dstPath)
                                       : Status::FailErrno(kTrashFailedKey, row.dstPath, ENOTSUP);
        if (moved.ok)
            ++trashed;
        return moved;
    };
    options.cancel = &m_control.cancel();
    options.pause = &m_control.pause();
    options.progress = [this](std::uint64_t done, std::uint64_t size) {
        m_callback.OnFileProgress(done, size);
        return !m_control.Cancelled();
    };
    const Status copy = CopyFileAt(sourceFolder.Get(), row.path.filename().string(), targetFolder.Get(),
                                   row.dstPath.filename().string(), options);
    if (toDrive && copy.messageKey != kCopyChangedKey)
        folders.wroteToDrive = true;  // even a failed copy may have left blocks behind
    return copy;
}

SyncRunSummary SyncRunner::Run(std::vector<ItemData>& rows, ScanCounters& counters)
{
    SyncRunSummary summary;
    const std::uint32_t total = CountChecked(rows);
    PaceWait(m_options.pacing.beforeRun, m_control);

    SyncLog log(m_options.log && total > 0, m_options.logPath);
    log.Begin();
    m_callback.OnRunStatus({});
    m_callback.OnRunCount({}, 0, total);

    const PairWatch pair(m_options.computerFolder, m_options.driveFolder);
    Folders folders;
    if (!m_options.computerFolder.empty() && !m_options.driveFolder.empty()) {
        folders.computer = FileDescriptor(OpenSyncRoot(m_options.computerFolder, false));
        if (!folders.computer.IsOpen())
            folders.openError = errno;
        folders.drive = FileDescriptor(OpenSyncRoot(m_options.driveFolder, true));
        if (!folders.drive.IsOpen())
            folders.openError = errno;
    }
    std::uint32_t processed = 0;
    bool cancelled = false;
    bool folderGone = false;
    Status diskFull;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ItemData& row = rows[i];
        if (!row.check || row.synced)
            continue;
        if (m_control.HoldWhilePaused()) {
            log.Cancelled(row.path);
            cancelled = true;
            break;
        }
        if (!pair.StillThere()) {
            folderGone = true;
            break;
        }
        m_callback.OnRunStatus(KXStrings::Format("sync_progress_status", row.name));
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        std::this_thread::yield();

        bool cancelledCopy = false;
        bool reported = false;
        // A row that fails for a reason of its own: logged and shown with it.
        const auto reportProblem = [&](const std::filesystem::path& path, const std::string& text) {
            log.Problem(path, text);
            m_callback.OnRowFailed(i, path, text);
            reported = true;
        };
        struct stat source {};
        if (!row.problem.empty()) {
            reportProblem(row.path, SyncProblemText(row));
        } else if (::lstat(row.path.c_str(), &source) == 0 && S_ISREG(source.st_mode)) {
            const Status copy = CopyRow(
                row, folders, [&pair] { return pair.StillThere(); }, summary.trashed);
            if (copy.ok) {
                std::uint32_t& count = row.sourceUsb ? counters.toComputer : counters.toDrive;
                if (count > 0)
                    --count;
                row.synced = true;
                ++summary.successes;
                m_callback.OnRowSynced(i, counters);
            } else if (copy.cancelled()) {
                cancelledCopy = true;
            } else if (copy.messageKey == kTrashFailedKey) {
                // Only that file stays; a full drive's trash is no full
                // computer, so the run goes on.
                reportProblem(row.dstPath, KXStrings::Format(kTrashFailedKey, copy.detail));
            } else if (IsDiskFull(copy.systemError)) {
                log.DiskFull(row.path);
                ++summary.failures;
                diskFull = Status::FailErrno(kSyncDiskFullKey, row.dstPath, copy.systemError);
                const std::filesystem::path mount =
                    m_options.mountPath ? m_options.mountPath(row.dstPath) : MountPointOf(row.dstPath);
                m_callback.ShowMessage(KXStrings::Format(kSyncDiskFullKey, mount.string()), MessageIcon::Error);
                break;  // a full disk ends the run
            } else if (copy.messageKey == kCopyChangedKey) {
                reportProblem(row.dstPath, KXStrings::GetString(kProblemChanged));
            } else if (copy.systemError == ELOOP || copy.systemError == ENOTDIR) {
                reportProblem(row.dstPath, KXStrings::GetString(kProblemLink));
            }
        }
        if (!row.synced && !cancelledCopy) {
            ++summary.failures;
            if (!reported)
                log.FileFailed(row.path);
            // A failure is often the first sign of a pulled drive: the
            // files after it would only fail too, or land in its place.
            if (!pair.StillThere()) {
                folderGone = true;
                break;
            }
        }
        ++processed;
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        if (m_control.Cancelled()) {
            log.Cancelled(row.path);
            cancelled = true;
            break;
        }
    }
    // Once for the whole run: the drive's file system holds what was written
    // before success is reported. Some FUSE drivers answer a flush of a
    // pulled drive with success, so the pair is looked at once more.
    int flushError = 0;
    if (folders.wroteToDrive && folders.drive.IsOpen() && !folderGone) {
        const FileSystemFlush flush = FlushFileSystem(folders.drive.Get());
        flushError = flush.error;
        if (flushError != 0)
            log.Problem(m_options.driveFolder, KXStrings::GetString(kSyncFlushFailedKey));
        folderGone = !pair.StillThere() || !flush.answers;
    }
    if (folderGone)
        summary.ended = flushError != 0 ? Status::FailErrno(kSyncFolderGoneKey, m_options.driveFolder, flushError)
                                        : Status::Fail(kSyncFolderGoneKey);
    else if (flushError != 0)
        summary.ended = Status::FailErrno(kSyncFlushFailedKey, m_options.driveFolder, flushError);
    else if (!diskFull.ok)
        summary.ended = diskFull;
    else if (cancelled)
        summary.ended = Status::Cancelled();
    if (!cancelled)
        PaceWait(m_options.pacing.afterRun, m_control);
    log.Trashed(summary.trashed);
    log.End(summary.successes, summary.failures);
    return summary;
}

std::uint32_t CountChecked(const std::vector<ItemData>& rows)
{
    return static_cast<std::uint32_t>(
        std::count_if(rows.begin(), rows.end(), [](const ItemData& r) { return r.check && !r.synced; }));
}

std::size_t RemoveSyncedRows(std::vector<ItemData>& rows)
{
    const auto before = rows.size();
    std::erase_if(rows, [](const ItemData& r) { return r.synced; });
    return before - rows.size();
}

void RecountDirections(const std::vector<ItemData>& rows, ScanCounters& counters)
{
    counters.toComputer = counters.toDrive = 0;
    for (const ItemData& r : rows)
        if (r.check && r.problem.empty())
            ++(r.sourceUsb ? counters.toComputer : counters.toDrive);
}

std::string SyncResultText(const SyncRunSummary& summary)
{
    std::string text;
    if (summary.successes > 0)
        text = KXStrings::Format("sync_success", summary.successes);
    if (summary.failures > 0) {
        if (!text.empty())
            text += "\n\n";
        text += KXStrings::Format("sync_fail", summary.failures);
    }
    if (text.empty())
        text = KXStrings::GetString("sync_none");
    if (summary.trashed > 0)
        text += "\n\n" + KXStrings::Format(kSyncTrashedKey, summary.trashed);
    if (summary.FlushFailed())
        text += "\n\n" + KXStrings::GetString(kSyncFlushFailedKey);
    return text;
}

std::filesystem::path MountPointOf(const std::filesystem::path& path)
{
    std::filesystem::path at = path.lexically_normal();
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (!at.has_relative_path())
            return at;
        at = at.parent_path();
    }
    for (;;) {
        const std::filesystem::path parent = at.parent_path();
        struct stat up {};
        if (parent == at || ::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev)
            return at;
        at = parent;
    }
}

}  // namespace halvex
