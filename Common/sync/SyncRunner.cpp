#include "sync/SyncRunner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <thread>
#include <system_error>

#include "copy/FileCopier.h"
#include "copy/LeftoverCopies.h"
#include "sync/SyncLog.h"
#include "util/FolderWatch.h"
#include "strings/KXStrings.h"

namespace halvex {

namespace {

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

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
                m_folders.emplace_back().Watch(folder);
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

}  // namespace

SyncRunner::SyncRunner(SyncCallback& callback, const SyncControl& control, SyncRunOptions options)
    : m_callback(callback), m_control(control), m_options(std::move(options))
{
}

SyncRunResult SyncRunner::Run(std::vector<ItemData>& rows, ScanCounters& counters)
{
    SyncRunResult result;
    const std::uint32_t total = CountChecked(rows);
    PaceWait(m_options.pacing.beforeRun, m_control);

    SyncLog log(m_options.log && total > 0, m_options.logPath);
    log.Begin();
    m_callback.OnRunStatus({});
    m_callback.OnRunCount({}, 0, total);

    const PairWatch pair(m_options.computerFolder, m_options.driveFolder);
    std::set<std::filesystem::path> cleanedFolders;
    std::uint32_t processed = 0;
    bool stopped = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ItemData& row = rows[i];
        if (!row.check || row.synced)
            continue;
        if (m_control.HoldWhilePaused()) {
            log.Cancelled(row.path);
            result.cancelled = true;
            break;
        }
        if (!pair.StillThere()) {
            result.folderGone = true;
            break;
        }
        m_callback.OnRunStatus(KXStrings::Format("sync_progress_status", row.name));
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        std::this_thread::yield();

        bool cancelledCopy = false;
        struct stat source {};
        if (::stat(row.path.c_str(), &source) == 0 && S_ISREG(source.st_mode)) {
            std::error_code ec;
            std::filesystem::create_directories(row.dstPath.parent_path(), ec);
            CopyResult copy;
            if (ec) {
                copy.outcome = IsDiskFull(ec.value()) ? CopyOutcome::DiskFull : CopyOutcome::Failed;
                copy.error = ec.value();
            } else {
                if (cleanedFolders.insert(row.dstPath.parent_path()).second)
                    RemoveLeftoverCopies(row.dstPath.parent_path());
                CopyOptions options;
                options.keepTimes = true;
                // Flushing before the rename protects the good copy a new one
                // replaces. A new file has nothing to protect, and flushing
                // each one would make the run wait on the device for every file.
                struct stat existing {};
                options.durable = ::lstat(row.dstPath.c_str(), &existing) == 0;
                options.cancel = &m_control.cancel();
                options.pause = &m_control.pause();
                options.progress = [this](std::uint64_t done, std::uint64_t size) {
                    m_callback.OnFileProgress(done, size);
                    return !m_control.Cancelled();
                };
                copy = CopyFileAtomic(row.path, row.dstPath, options);
            }
            switch (copy.outcome) {
            case CopyOutcome::Done: {
                std::uint32_t& count = row.sourceUsb ? counters.toComputer : counters.toDrive;
                if (count > 0)
                    --count;
                row.synced = true;
                ++result.successes;
                m_callback.OnRowSynced(i, counters);
                break;
            }
            case CopyOutcome::DiskFull: {
                log.DiskFull(row.path);
                ++result.failures;
                result.diskFull = true;
                const std::filesystem::path mount =
                    m_options.mountPath ? m_options.mountPath(row.dstPath) : MountPointOf(row.dstPath);
                m_callback.ShowMessage(KXStrings::Format("err_sync_disk_full", mount.string()),
                                       MessageIcon::Error);
                stopped = true;
                break;
            }
            case CopyOutcome::Cancelled:
                cancelledCopy = true;
                break;
            case CopyOutcome::Failed:
            case CopyOutcome::TooLarge:
                break;
            }
        }
        if (stopped)
            break;
        if (!row.synced && !cancelledCopy) {
            ++result.failures;
            log.FileFailed(row.path);
            // A failure is often the first sign of a pulled drive: the
            // files after it would only fail too, or land in its place.
            if (!pair.StillThere()) {
                result.folderGone = true;
                break;
            }
        }
        ++processed;
        m_callback.OnRunCount(CountText(processed, total), processed, total);
        if (m_control.Cancelled()) {
            log.Cancelled(row.path);
            result.cancelled = true;
            break;
        }
    }
    if (!result.cancelled)
        PaceWait(m_options.pacing.afterRun, m_control);
    log.End(result.successes, result.failures);
    return result;
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
        if (r.check)
            ++(r.sourceUsb ? counters.toComputer : counters.toDrive);
}

std::string SyncResultText(const SyncRunResult& result)
{
    std::string text;
    if (result.successes > 0)
        text = KXStrings::Format("sync_success", result.successes);
    if (result.failures > 0) {
        if (!text.empty())
            text += "\n\n";
        text += KXStrings::Format("sync_fail", result.failures);
    }
    return text.empty() ? KXStrings::GetString("sync_none") : text;
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
