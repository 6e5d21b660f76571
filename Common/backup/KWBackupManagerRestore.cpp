#include <algorithm>
#include <cerrno>
#include <map>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/ArchivePool.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "zip/LeftoverArchives.h"
#include "util/IgnoreResult.h"
#include "zip/ZipArchive.h"
#include "util/ErrorText.h"
#include "util/FileSystemFlush.h"

using namespace halvex;
namespace bm = halvex::backup_message;

namespace {

// How far unpacking may run ahead of the placing and the questions.
constexpr std::size_t kRestoresAheadPerThread = 3;

// The stored file's name: the archive's name without its ".zip".
std::string StoredName(const std::string& archiveName)
{
    if (archiveName.size() > 4 && archiveName.compare(archiveName.size() - 4, 4, ".zip") == 0)
        return archiveName.substr(0, archiveName.size() - 4);
    return archiveName;
}

// The folders between base and the file's folder, each with a trailing "/";
// empty when the folder is not below base.
std::string RelativeFolders(const std::string& base, const std::string& folder)
{
    if (base.empty() || folder.size() <= base.size() || folder.compare(0, base.size(), base) != 0)
        return {};
    std::string relative = folder.substr(base.size());
    // Never climb out of the destination, whatever the names of the set.
    for (const auto& part : std::filesystem::path(relative))
        if (part == "..")
            return {};
    return relative;
}

// Makes folder, below boundary, as real folders: a link or a file in the
// way of any of them stops it, so nothing is written through a link the
// destination's folders hold. The boundary itself is the user's choice.
Status MakeRealFolders(const std::filesystem::path& boundary, const std::filesystem::path& folder)
{
    const std::filesystem::path base = boundary.lexically_normal();
    const std::filesystem::path relative = folder.lexically_normal().lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..")
        return Status::Fail(KWBackupManager::kFolderUncreatableKey, "outside " + base.string());
    std::error_code error;
    if (!std::filesystem::is_directory(base, error))
        std::filesystem::create_directories(base, error);
    if (error)
        return Status::Fail(KWBackupManager::kFolderUncreatableKey, error.message());
    std::filesystem::path current = base;
    for (const auto& part : relative) {
        if (part.empty() || part == ".")
            continue;
        current /= part;
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT || (::mkdir(current.c_str(), 0755) != 0 && errno != EEXIST))
                return Status::FailErrno(KWBackupManager::kFolderUncreatableKey, current, errno);
            // Something may have taken the name meanwhile: only a real folder will do.
            if (::lstat(current.c_str(), &info) != 0)
                return Status::FailErrno(KWBackupManager::kFolderUncreatableKey, current, errno);
        }
        if (S_ISLNK(info.st_mode))
            return Status::Fail(KWBackupManager::kFolderUncreatableKey,
                                "a link stands on the way: " + current.string());
        if (!S_ISDIR(info.st_mode))
            return Status::Fail(KWBackupManager::kFolderUncreatableKey, "not a folder: " + current.string());
    }
    return Status::Ok();
}

// What killed restores left in the folder in hand, read once for all the
// files restored into it; each file's own go before it is unpacked.
class FolderLeftovers {
public:
    void RemoveFor(const std::filesystem::path& folder, const std::string& name)
    {
        if (folder != m_folder) {
            m_folder = folder;
            m_byName = LeftoverRestoresByName(folder);
        }
        const auto [first, last] = m_byName.equal_range(name);
        for (auto it = first; it != last; ++it)
            ::unlink((folder / it->second).c_str());
        m_byName.erase(first, last);
    }

private:
    std::filesystem::path m_folder;
    std::multimap<std::string, std::string> m_byName;
};

}  // namespace

void KWBackupManager::AddFileToRestorePool(const std::filesystem::path& archive)
{
    const std::string text = archive.string();
    if (std::find(m_vecRestorePool.begin(), m_vecRestorePool.end(), text) == m_vecRestorePool.end())
        m_vecRestorePool.push_back(text);
}

void KWBackupManager::report_fatal(int number)
{
    if (m_bReportErrors)
        m_callback.FatalError(message(number));
}

std::filesystem::path KWBackupManager::ReadOriginalFolder(const std::filesystem::path& path)
{
    const InfoFileLookup lookup = ReadInfoFile(path);
    if (lookup.status.ok)
        return lookup.originalFolder;
    report_fatal(InfoFileMessage(lookup.status));
    return {};
}

bool KWBackupManager::ExistsOriginalBackupFolder(const std::filesystem::path& path)
{
    m_bReportErrors = false;
    const bool found = !ReadOriginalFolder(path).empty();
    m_bReportErrors = true;
    return found;
}

bool KWBackupManager::RestoreFromFilesPool(const RestoreRunOptions& options)
{
    m_bCancel = false;
    m_bAbandon = false;
    m_nStored = m_nFailed = m_nSkipped = 0;
    m_nFlushError = 0;
    prepare_pool(options.archiveThreads);
    m_trash = options.trash ? options.trash : SystemTrash();
    m_batchBounds = options.batch;
    m_flush = options.flush;
    m_strRestoreBase = options.base.empty() ? std::string() : WithTrailingSlash(options.base.string());
    const std::filesystem::path& target = options.target;
    const std::string targetText = target.empty() ? std::string() : WithTrailingSlash(target.string());
    // The archives of one folder belong to one set: its information file is read once.
    std::string lookedUpFolder;
    InfoFileLookup lookup;
    FolderLeftovers leftovers;

    // An error question keeps its place in the order: the restores before it
    // are placed (and asked about) first.
    auto failEntry = [this](const std::string& text) {
        drain_restores();
        if (m_bCancel)
            return;
        ++m_nFailed;
        if (report_error(text))
            m_bCancel = true;
    };

    for (const auto& entry : m_vecRestorePool) {
        if (m_bCancel)
            break;
        const std::string sourceFolder = ExtractPath(entry);
        const std::string name = ExtractFileName(entry);
        const std::string storedName = StoredName(name);

        std::string destinationFolder;
        if (targetText.empty()) {
            if (sourceFolder != lookedUpFolder || !lookup.status.ok) {
                lookup = ReadInfoFile(entry);
                lookedUpFolder = sourceFolder;
            }
            if (!lookup.status.ok || lookup.originalFolder.empty()) {
                drain_restores();
                if (!m_bCancel)
                    report_fatal(InfoFileMessage(lookup.status));
                return false;
            }
            // A tree comes back as a tree: the folders between the generation
            // folder and the file are recreated below the original folder.
            destinationFolder = lookup.originalFolder +
                                RelativeFolders(WithTrailingSlash(lookup.generationFolder.string()), sourceFolder);
        } else {
            destinationFolder = targetText + RelativeFolders(m_strRestoreBase, sourceFolder);
        }

        if (!FileExists(entry)) {
            failEntry(message(bm::kErrorCopying) + entry + message(bm::kTo) + destinationFolder + storedName + "\"\n" +
                      ErrnoText(ENOENT));
            continue;
        }
        const std::filesystem::path boundary = !options.writeBoundary.empty()
                                                   ? options.writeBoundary
                                                   : (targetText.empty() ? std::filesystem::path("/") : target);
        if (const Status made = MakeRealFolders(boundary, destinationFolder); !made) {
            failEntry(message(bm::kErrorCopying) + entry + message(bm::kTo) + destinationFolder + storedName + "\"\n" +
                      made.detail);
            continue;
        }
        leftovers.RemoveFor(destinationFolder, storedName);
        schedule_restore(entry, sourceFolder, destinationFolder, name, storedName);
    }
    drain_restores();
    return !m_bCancel;
}

// ---- unpacking ahead ------------------------------------------------------------

void KWBackupManager::schedule_restore(const std::filesystem::path& entry, const std::filesystem::path& sourceFolder,
                                       const std::filesystem::path& destinationFolder, const std::string& name,
                                       const std::string& storedName)
{
    PendingRestore pending{.archive = entry,
                           .sourceFolder = sourceFolder,
                           .destinationFolder = destinationFolder,
                           .name = name,
                           .storedName = storedName,
                           .unpacked = {},
                           .done = {}};
    const std::filesystem::path destination = destinationFolder / storedName;
    // A file with the stored copy's own time is skipped without unpacking,
    // unless an earlier restore of this run is still to land on it.
    if (m_setRestoreTargets.count(destination.string()) == 0 &&
        std::filesystem::symlink_status(destination).type() != std::filesystem::file_type::not_found &&
        CompareFilesTime(entry, destination) == 0) {
        ++m_nSkipped;
        return;
    }
    pending.unpacked = std::make_shared<UnpackedArchive>();
    auto work = [unpacked = pending.unpacked, destination, entry, this] {
        *unpacked = UnpackBeside(destination, entry, &m_bAbandon, Leftovers::ClearedByCaller);
        return unpacked->status;
    };
    pending.done = m_pool ? m_pool->Submit(work) : std::async(std::launch::deferred, work);
    m_setRestoreTargets.insert(destination.string());
    m_dequeRestores.push_back(std::move(pending));

    const std::size_t limit = m_pool ? kRestoresAheadPerThread * m_pool->Threads() : 0;
    while (m_dequeRestores.size() > limit && !m_bCancel)
        place_next_restore();
}

void KWBackupManager::drain_restores()
{
    while (!m_dequeRestores.empty())
        place_next_restore();
    commit_restores();
}

void KWBackupManager::discard_restore(PendingRestore& pending)
{
    if (pending.done.valid())
        pending.done.wait();
    if (pending.unpacked)
        DiscardUnpacked(*pending.unpacked);
}

// The questions and the placing happen here, in the pool's order, on the
// engine's thread; the file itself was unpacked ahead under a temporary name.
void KWBackupManager::place_next_restore()
{
    PendingRestore pending = std::move(m_dequeRestores.front());
    m_dequeRestores.pop_front();
    const std::filesystem::path destination = pending.destinationFolder / pending.storedName;
    if (const auto held = m_setRestoreTargets.find(destination.string()); held != m_setRestoreTargets.end())
        m_setRestoreTargets.erase(held);
    if (m_bCancel) {
        m_bAbandon = true;
        discard_restore(pending);
        return;
    }

    // The stored copy is compared with the file it would replace.
    if (std::filesystem::symlink_status(destination).type() != std::filesystem::file_type::not_found) {
        const int comparison = CompareFilesTime(pending.archive, destination);
        if (comparison == 0 ||
            (comparison < 0 &&
             !m_callback.OverwriteFile(WithTrailingSlash(pending.destinationFolder.string()), pending.storedName))) {
            ++m_nSkipped;
            discard_restore(pending);
            return;
        }
    }
    if (!m_callback.NotifyCopyingFile(WithTrailingSlash(pending.sourceFolder.string()), pending.name)) {
        m_bCancel = true;
        m_bAbandon = true;
        discard_restore(pending);
        return;
    }
    IgnoreResult(pending.done.get(), "the unpacking's status travels in the unpacked archive");
    ReadyRestore ready{.archive = pending.archive, .destination = destination, .unpacked = pending.unpacked};
    // Onto the drive that holds the set, a file waits for its batch's flush,
    // as a backup's archive does: a drive pulled right after never holds an
    // empty file in place of the one it replaced. The computer's disk is
    // not pulled; its files are placed at once.
    struct stat archiveInfo {};
    struct stat folderInfo {};
    if (ready.unpacked->status.ok && ::stat(pending.archive.c_str(), &archiveInfo) == 0 &&
        ::stat(pending.destinationFolder.c_str(), &folderInfo) == 0 && archiveInfo.st_dev == folderInfo.st_dev) {
        for (const auto& file : ready.unpacked->files) {
            struct stat written {};
            if (::lstat(file.first.c_str(), &written) == 0)
                m_nReadyBytes += static_cast<std::uint64_t>(written.st_size);
        }
        m_setRestoreTargets.insert(destination.string());  // until it lands
        m_vecRestoresReady.push_back(std::move(ready));
        if (m_vecRestoresReady.size() >= m_batchBounds.files || m_nReadyBytes >= m_batchBounds.bytes)
            commit_restores();
        return;
    }
    // What waits lands first, so that files land, and their failures are
    // asked about, in the pool's order.
    commit_restores();
    if (m_bCancel) {
        DiscardUnpacked(*ready.unpacked);
        return;
    }
    place_restore(ready);
}

// Flushes the drive once for the files that wait, then places them. A
// failed flush fails the batch: the files it would replace stay, the
// temporaries go, and the restore stops.
void KWBackupManager::commit_restores()
{
    if (m_vecRestoresReady.empty())
        return;
    const std::vector<ReadyRestore> ready = std::exchange(m_vecRestoresReady, {});
    m_nReadyBytes = 0;
    for (const auto& waiting : ready)
        if (const auto held = m_setRestoreTargets.find(waiting.destination.string()); held != m_setRestoreTargets.end())
            m_setRestoreTargets.erase(held);
    const FileDescriptor folder(
        ::open(ready.front().destination.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int error = !folder.IsOpen() ? errno : (m_flush ? m_flush(folder.Get()) : FlushDriveAt(folder.Get()));
    if (error != 0) {
        m_nFlushError = error;
        m_nFailed += static_cast<std::uint32_t>(ready.size());
        for (const auto& waiting : ready)
            DiscardUnpacked(*waiting.unpacked);
        m_bCancel = true;
        m_bAbandon = true;
        IgnoreResult(report_error(message(bm::kErrorCopying) + ready.front().archive.string() + message(bm::kTo) +
                                  ready.front().destination.string() + "\"\n" + ErrnoText(error)),
                     "the restore stops either way: the drive keeps nothing more");
        return;
    }
    // Files unpacked before the restore was stopped still take their place,
    // as they would have one by one; a stop while they do ends it there.
    const bool stoppedBefore = m_bCancel;
    m_bCancel = false;
    for (const auto& waiting : ready) {
        if (m_bCancel)
            DiscardUnpacked(*waiting.unpacked);
        else
            place_restore(waiting);
    }
    m_bCancel = m_bCancel || stoppedBefore;
}

void KWBackupManager::place_restore(const ReadyRestore& ready)
{
    // A file the stored copy replaces goes to the trash first.
    const Status restored = PlaceUnpacked(*ready.unpacked, m_trash.get());
    if (!restored.ok) {
        ++m_nFailed;
        if (report_error(message(bm::kErrorCopying) + ready.archive.string() + message(bm::kTo) +
                         ready.destination.string() + "\"" + (restored.detail.empty() ? "" : "\n" + restored.detail))) {
            m_bCancel = true;
            m_bAbandon = true;
        }
        return;
    }
    ++m_nStored;
}
