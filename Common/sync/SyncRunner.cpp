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
#include "util/MountPoint.h"

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

// A file this large is copied and flushed on its own: one flush costs little
// beside its writing, and the small files finished before it take their
// names before it starts.
constexpr std::uint64_t kFlushedAloneBytes = 4ull << 20;

}  // namespace

// The last folder below a side's folder that a row was copied from or into.
// Rows come folder by folder, so the next row mostly finds it open.
class OpenedBelow {
public:
    int Open(int rootFd, bool onDrive, const std::filesystem::path& below, MissingFolders missing, bool& created)
    {
        if (!m_fd.IsOpen() || onDrive != m_onDrive || below != m_below) {
            m_fd = FileDescriptor(OpenFolderBelow(rootFd, below, missing, created));
            m_onDrive = onDrive;
            m_below = below;
        }
        return m_fd.Get();
    }

private:
    FileDescriptor m_fd;
    bool m_onDrive = false;
    std::filesystem::path m_below;
};

// The pair's folders, opened once per run; -1 when the options name none.
struct SyncRunner::Folders {
    FileDescriptor computer;
    FileDescriptor drive;
    OpenedBelow source;
    OpenedBelow target;
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
                           PendingCopy* pending, std::uint32_t& trashed)
{
    const bool toDrive = !row.sourceUsb;
    FileDescriptor sourceFolder;
    FileDescriptor targetFolder;
    int sourceFolderFd = -1;
    int targetFolderFd = -1;
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
        sourceFolderFd =
            folders.source.Open(sourceFd.Get(), row.sourceUsb, *sourceBelow, MissingFolders::Fail, created);
        if (sourceFolderFd < 0)
            return Status::FailErrno(kCopyFailedKey, row.path.parent_path(), errno);
        targetFolderFd =
            folders.target.Open(targetFd.Get(), !row.sourceUsb, *targetBelow, MissingFolders::Create, created);
    } else {
        std::error_code ec;
        sourceFolder = FileDescriptor(::open(row.path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!sourceFolder.IsOpen())
            return Status::FailErrno(kCopyFailedKey, row.path.parent_path(), errno);
        created = std::filesystem::create_directories(row.dstPath.parent_path(), ec);
        if (ec)
            return Status::FailErrno(kCopyFailedKey, row.dstPath.parent_path(), ec.value());
        targetFolder = FileDescriptor(::open(row.dstPath.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        sourceFolderFd = sourceFolder.Get();
        targetFolderFd = targetFolder.Get();
    }
    if (created && toDrive)
        folders.wroteToDrive = true;
    if (targetFolderFd < 0)
        return Status::FailErrno(kCopyFailedKey, row.dstPath.parent_path(), errno);
    if (folders.cleaned.insert(row.dstPath.parent_path()).second)
        RemoveLeftoverCopies(row.dstPath.parent_path());

    CopyOptions options;
    options.keepTimes = true;
    // Flushing before the rename protects the good copy a new one replaces,
    // and on the drive keeps a file pulled out right after from standing
    // there empty with the source's time, which later scans take as in sync.
    // A batched copy is flushed with its batch.
    struct stat existing {};
    options.durable = (toDrive && !pending) || (!toDrive && ::fstatat(targetFolderFd, row.dstPath.filename().c_str(),
                                                                      &existing, AT_SYMLINK_NOFOLLOW) == 0);
    ExpectedDestination expected{row.dstExists, row.dstSize, row.dstTimeNs};
    if (row.dstScanned)
        options.expected = &expected;
    // The folders are open, so a pair moved away meanwhile would still take
    // the copy: the same check as between files, once more at the end. A
    // batched copy has it from its batch's commit, just before.
    if (!pending)
        options.stillWanted = pairThere;
    // The newer copy wins, and the older one it replaces goes to the trash
    // when the copy takes its name (for a batched copy, at its batch's commit).
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
    Status copy = pending ? WriteCopyAt(sourceFolderFd, row.path.filename().string(), targetFolderFd,
                                        row.dstPath.filename().string(), options, *pending)
                          : CopyFileAt(sourceFolderFd, row.path.filename().string(), targetFolderFd,
                                       row.dstPath.filename().string(), options);
    if (toDrive && copy.messageKey != kCopyChangedKey)
        folders.wroteToDrive = true;  // even a failed copy may have left blocks behind
    return copy;
}

// One run's state.
struct SyncRunner::Pass {
    Pass(std::vector<ItemData>& rows, ScanCounters& counters, const SyncRunOptions& options, std::uint32_t total)
        : rows(rows),
          counters(counters),
          log(options.log && total > 0, options.logPath),
          pair(options.computerFolder, options.driveFolder),
          batch(options.batch, options.batchFlush)
    {}

    bool Stopped() const { return folderGone || flushError != 0 || !diskFull.ok; }

    std::vector<ItemData>& rows;
    ScanCounters& counters;
    SyncLog log;
    const PairWatch pair;
    Folders folders;
    CopyBatch batch;
    SyncRunSummary summary;
    bool cancelled = false;
    bool folderGone = false;
    int flushError = 0;  // of a batch's flush or the final one
    Status diskFull;
};

// A row that fails for a reason of its own: logged and shown with it.
void SyncRunner::Failed(Pass& pass, std::size_t index, const std::filesystem::path& path, const std::string& reason)
{
    pass.log.Problem(path, reason);
    m_callback.OnRowFailed(index, path, reason);
}

// The end of one row's copy, committed or failed (never cancelled).
void SyncRunner::Settle(Pass& pass, std::size_t index, const Status& copy)
{
    ItemData& row = pass.rows[index];
    if (copy.ok) {
        std::uint32_t& count = row.sourceUsb ? pass.counters.toComputer : pass.counters.toDrive;
        if (count > 0)
            --count;
        row.synced = true;
        ++pass.summary.successes;
        m_callback.OnRowSynced(index, pass.counters);
        return;
    }
    ++pass.summary.failures;
    if (copy.messageKey == kTrashFailedKey) {
        // Only that file stays; a full drive's trash is no full computer,
        // so the run goes on.
        Failed(pass, index, row.dstPath, KXStrings::Format(kTrashFailedKey, copy.detail));
        return;
    }
    if (IsDiskFull(copy.systemError)) {
        pass.log.DiskFull(row.path);
        pass.diskFull = Status::FailErrno(kSyncDiskFullKey, row.dstPath, copy.systemError);
        const std::filesystem::path mount =
            m_options.mountPath ? m_options.mountPath(row.dstPath) : MountPointOf(row.dstPath);
        m_callback.ShowMessage(KXStrings::Format(kSyncDiskFullKey, mount.string()), MessageIcon::Error);
        return;  // a full disk ends the run
    }
    if (copy.messageKey == kCopyChangedKey)
        Failed(pass, index, row.dstPath, KXStrings::GetString(kProblemChanged));
    else if (copy.systemError == ELOOP || copy.systemError == ENOTDIR)
        Failed(pass, index, row.dstPath, KXStrings::GetString(kProblemLink));
    else
        pass.log.FileFailed(row.path);
    // A failure is often the first sign of a pulled drive: the files after
    // it would only fail too, or land in its place.
    if (!pass.pair.StillThere())
        pass.folderGone = true;
}

// Flushes the drive once for the waiting copies, then puts them under their
// names. A failed flush fails them all: their temporaries go, and the
// destinations stay as they were.
void SyncRunner::CommitBatch(Pass& pass)
{
    if (pass.batch.Empty())
        return;
    const int error = pass.batch.Flush();
    auto copies = pass.batch.Take();
    if (error != 0) {
        pass.flushError = error;
        pass.log.Problem(m_options.driveFolder, KXStrings::GetString(kSyncFlushFailedKey));
        for (const auto& waiting : copies) {
            ++pass.summary.failures;
            pass.log.FileFailed(pass.rows[waiting.first].path);
        }
        return;
    }
    // A cancel that comes while they take their names stops there; one that
    // ended the run before still lets the finished copies in.
    const bool cancelledBefore = m_control.Cancelled();
    for (auto& [index, copy] : copies) {
        if (!pass.pair.StillThere()) {
            pass.folderGone = true;
            return;  // the rest remove their temporaries
        }
        if (!cancelledBefore && m_control.Cancelled()) {
            pass.cancelled = true;
            return;
        }
        Settle(pass, index, CommitCopy(copy));
        if (pass.folderGone)
            return;
    }
}

// One row: a problem row is reported; a small file to the drive joins the
// batch, anything else is copied and committed at once.
void SyncRunner::CopyOne(Pass& pass, std::size_t index)
{
    const ItemData& row = pass.rows[index];
    struct stat source {};
    if (!row.problem.empty()) {
        Failed(pass, index, row.path, SyncProblemText(row));
        ++pass.summary.failures;
        return;
    }
    if (::lstat(row.path.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) {
        Settle(pass, index, Status::Fail(kCopyFailedKey));
        return;
    }
    const bool toDrive = !row.sourceUsb;
    const bool batched = toDrive && static_cast<std::uint64_t>(source.st_size) < kFlushedAloneBytes;
    if (toDrive && !batched) {
        CommitBatch(pass);
        if (pass.Stopped())
            return;
    }
    PendingCopy pending;
    const Status copy = CopyRow(
        row, pass.folders, [&pair = pass.pair] { return pair.StillThere(); }, batched ? &pending : nullptr,
        pass.summary.trashed);
    if (copy.cancelled())
        pass.cancelled = true;
    else if (!copy.ok || !pending.IsSet())
        Settle(pass, index, copy);
    else if (pass.batch.Add(index, std::move(pending)))
        CommitBatch(pass);
}

SyncRunSummary SyncRunner::Run(std::vector<ItemData>& rows, ScanCounters& counters)
{
    const std::uint32_t total = CountChecked(rows);
    PaceWait(m_options.pacing.beforeRun, m_control);

    Pass pass(rows, counters, m_options, total);
    pass.log.Begin();
    m_callback.OnRunStatus({});
    m_callback.OnRunCount({}, 0, total);

    Folders& folders = pass.folders;
    if (!m_options.computerFolder.empty() && !m_options.driveFolder.empty()) {
        folders.computer = FileDescriptor(OpenSyncRoot(m_options.computerFolder, false));
        if (!folders.computer.IsOpen())
            folders.openError = errno;
        folders.drive = FileDescriptor(OpenSyncRoot(m_options.driveFolder, true));
        if (!folders.drive.IsOpen())
            folders.openError = errno;
    }
    std::uint32_t processed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ItemData& row = rows[i];
        if (!row.check || row.synced)
            continue;
        if (m_control.HoldWhilePaused()) {
            pass.log.Cancelled(row.path);
            pass.cancelled = true;
            break;
        }
        if (!pass.pair.StillThere()) {
            pass.folderGone = true;
            break;
        }
        m_callback.OnRunStatus(KXStrings::Format("sync_progress_status", row.name));
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        std::this_thread::yield();

        CopyOne(pass, i);
        if (pass.Stopped())
            break;
        ++processed;
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        if (pass.cancelled || m_control.Cancelled()) {
            pass.log.Cancelled(row.path);
            pass.cancelled = true;
            break;
        }
    }
    // Finished copies are committed however the run ended, unless the drive
    // went or could not be flushed.
    if (!pass.folderGone && pass.flushError == 0)
        CommitBatch(pass);
    IgnoreResult(pass.batch.Take(), "copies of a drive that went remove their temporaries");

    // Once for the whole run: the drive's file system holds what was written
    // before success is reported. Some FUSE drivers answer a flush of a
    // pulled drive with success, so the pair is looked at once more.
    if (folders.wroteToDrive && folders.drive.IsOpen() && !pass.folderGone && pass.flushError == 0) {
        const FileSystemFlush flush = FlushFileSystem(folders.drive.Get());
        pass.flushError = flush.error;
        if (pass.flushError != 0)
            pass.log.Problem(m_options.driveFolder, KXStrings::GetString(kSyncFlushFailedKey));
        pass.folderGone = !pass.pair.StillThere() || !flush.answers;
    }
    SyncRunSummary& summary = pass.summary;
    if (pass.folderGone)
        summary.ended = pass.flushError != 0
                            ? Status::FailErrno(kSyncFolderGoneKey, m_options.driveFolder, pass.flushError)
                            : Status::Fail(kSyncFolderGoneKey);
    else if (pass.flushError != 0)
        summary.ended = Status::FailErrno(kSyncFlushFailedKey, m_options.driveFolder, pass.flushError);
    else if (!pass.diskFull.ok)
        summary.ended = pass.diskFull;
    else if (pass.cancelled)
        summary.ended = Status::Cancelled();
    if (!pass.cancelled)
        PaceWait(m_options.pacing.afterRun, m_control);
    pass.log.Trashed(summary.trashed);
    pass.log.End(summary.successes, summary.failures);
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
    return MountPointAbove(at, st);
}

}  // namespace halvex
