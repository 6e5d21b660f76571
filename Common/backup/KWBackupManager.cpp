#include "backup/KWBackupManager.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/ArchivePool.h"
#include "backup/BackupCategories.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/BackupSetFolder.h"
#include "backup/BackupStrings.h"
#include "backup/DriveNameRules.h"
#include "zip/LeftoverArchives.h"
#include "zip/ZipArchive.h"
#include "util/ErrorText.h"
#include "util/FileSystemFlush.h"
#include "util/FileTime.h"
#include "util/FolderEntries.h"
#include "util/IgnoreResult.h"

using namespace halvex;
namespace bm = halvex::backup_message;

namespace {

// How far the pool may write ahead of the placing: enough to keep every
// thread busy, few enough that the temporary archives stay small.
constexpr std::size_t kPendingPerThread = 3;

struct FolderListing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// Reads a folder once. Hidden files are skipped; hidden folders are walked.
// A link to a folder is not followed, so a link loop cannot trap the walk.
bool ListFolder(const std::filesystem::path& folder, FolderListing& listing)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st {};
            const int how = type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
            if (::fstatat(dirfd(dir), entry->d_name, &st, how) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                type = entry->d_type == DT_LNK ? DT_LNK : DT_DIR;
            else if (S_ISREG(st.st_mode))
                type = DT_REG;
            else
                type = DT_UNKNOWN;
        }
        if (type == DT_DIR)
            listing.folders.push_back(name);
        else if (type == DT_REG && !IsHiddenName(name))
            listing.files.push_back(name);
    }
    ::closedir(dir);
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.folders.begin(), listing.folders.end());
    return true;
}

// A folder as the messages and the information file show it: with a trailing "/".
std::string FolderText(const std::filesystem::path& folder)
{
    return WithTrailingSlash(folder.string());
}

// The folder without a trailing separator: "a/b/" and "a/b" name one folder.
std::filesystem::path WithoutTrailingSeparator(const std::filesystem::path& folder)
{
    return folder.has_filename() || folder == folder.root_path() ? folder : folder.parent_path();
}

bool MatchesFilter(const std::string& name, const std::string& filter)
{
    if (filter == kAllPattern)
        return true;
    return EqualsIgnoringAsciiCase(FileExtension(name), filter);
}

std::string TemporaryArchiveName(const std::string& name)
{
    static std::atomic<unsigned> counter{0};
    return "." + name + ".zip.partial-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

[[maybe_unused]] std::string StripZip(const std::string& name)
{
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0)
        return name.substr(0, name.size() - 4);
    return name;
}

}  // namespace

KWBackupManager::KWBackupManager(KWCallback& callback) : KWBackupManager(callback, BackupStrings::BuiltIn()) {}

KWBackupManager::KWBackupManager(KWCallback& callback, const BackupStrings& strings)
    : m_strings(strings), m_callback(callback)
{}

KWBackupManager::~KWBackupManager()
{
    m_bAbandon = true;
    for (auto& pending : m_dequePending)
        discard_archive(pending);
    for (const auto& ready : m_vecReady)
        remove_temporary(ready.temporary);
    for (auto& pending : m_dequeRestores)
        discard_restore(pending);
    for (const auto& ready : m_vecRestoresReady)
        DiscardUnpacked(*ready.unpacked);
}

std::string KWBackupManager::message(int number) const
{
    return m_strings.Message(number);
}

// ---- filter set -----------------------------------------------------------

void KWBackupManager::AddFilter(const std::string& extension, const std::string& category, bool both_cases)
{
    if (std::find(m_vecFilters.begin(), m_vecFilters.end(), extension) == m_vecFilters.end()) {
        m_vecFilters.push_back(extension);
        m_mapCategories[category].push_back(extension);
    }
    if (both_cases) {
        AddFilter(AsciiLower(extension), category, false);
        AddFilter(AsciiUpper(extension), category, false);
    }
}

std::string KWBackupManager::find_category() const
{
    for (const auto& [category, extensions] : m_mapCategories)
        if (std::find(extensions.begin(), extensions.end(), m_strCurrentExtension) != extensions.end())
            return category;
    return message(bm::kUncategorized);
}

void KWBackupManager::store_details(const std::filesystem::path& folder, const std::string& name)
{
    FileDetails details{name, RemoveUNCPrefix(FolderText(folder)), find_category(), GetFileSize(folder / name)};
    for (const auto& held : m_vecDetails)
        if (held.name == details.name && held.folder == details.folder)
            return;
    m_vecDetails.push_back(std::move(details));
}

// ---- runs -----------------------------------------------------------------

bool KWBackupManager::Backup(const std::filesystem::path& source, const std::filesystem::path& destination,
                             const std::string& set_name, const BackupRunOptions& options)
{
    m_bDryRun = options.dryRun;
    const std::filesystem::path sourceFolder = WithoutTrailingSeparator(source);
    const std::filesystem::path backupFolder = WithoutTrailingSeparator(destination);
    m_bCancel = false;
    m_bAbandon = false;
    m_nDepth = 0;
    m_nStored = m_nFailed = m_nSkipped = 0;
    m_pathBackupFolder = WithoutTrailingSeparator(std::filesystem::absolute(backupFolder).lexically_normal());
    m_vecSubfolderStack.clear();
    m_setCountedFolders.clear();
    m_pathCheckedFolder.clear();
    m_bDestinationGone = false;
    m_bWatching = false;
    m_nFlushError = 0;
    m_setFolder.Reset();
    m_batchBounds = options.batch;
    m_flush = options.flush;

    // The set name comes from a profile on the drive: it must name a folder
    // directly inside the backup folder, and neither may be a link.
    m_pathSetFolder = backupFolder / set_name;
    if (!IsValidSetName(set_name)) {
        if (!m_bDryRun)  // the run that follows says it
            refuse_entry(bm::kDamagedProfile, FolderText(m_pathSetFolder));
        return !m_bCancel;
    }
    Status made = create_folder(backupFolder);
    if (made)
        made = create_folder(m_pathSetFolder);
    if (!made) {
        if (!m_bDryRun)
            refuse_folder(made, sourceFolder, m_pathSetFolder);
        return !m_bCancel;
    }
    m_driveNames = DriveNameRules::Of(m_pathSetFolder);
    if (!m_bDryRun) {
        Status watched = m_setWatch.Watch(m_pathSetFolder);
        if (watched) {
            m_setFolder =
                FileDescriptor(::open(m_pathSetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!m_setFolder.IsOpen())
                watched = Status::FailErrno(kFolderUncreatableKey, m_pathSetFolder, errno);
        }
        m_bWatching = watched.ok;
        if (!m_bWatching) {
            m_bCancel = report_error(message(bm::kErrorCopying) + FolderText(sourceFolder) + message(bm::kTo) +
                                     FolderText(m_pathSetFolder) + "\"\n" + ErrnoText(watched.systemError));
            ++m_nFailed;
            return !m_bCancel;
        }
        if (const Status stored = store_original_folder(m_pathSetFolder, sourceFolder); !stored) {
            refuse_entry(bm::kInfoUnwritable, stored.detail);
            if (m_bCancel) {
                m_setFolder.Reset();
                return false;
            }
        }
        prepare_pool(options.archiveThreads);
    }
    copy_folders(WithoutTrailingSeparator(std::filesystem::absolute(sourceFolder).lexically_normal()),
                 m_pathSetFolder / kCurrentBackup);
    drain_pending();
    commit_ready();
    m_setFolder.Reset();  // a folder held open would keep the drive from being unmounted
    return !m_bCancel;
}

std::uint32_t KWBackupManager::GetNumFilesToBackup(const std::filesystem::path& source,
                                                   const std::filesystem::path& destination,
                                                   const std::string& set_name)
{
    m_nFileCount = 0;
    m_vecBytesToWrite.clear();
    m_vecBytesToFree.clear();
    BackupRunOptions dryRun;
    dryRun.dryRun = true;
    Backup(source, destination, set_name, dryRun);
    m_bDryRun = false;
    return m_nFileCount;
}

std::int64_t KWBackupManager::ComputeSize(const std::filesystem::path& source, const std::filesystem::path& destination,
                                          std::uint64_t cluster_size, const std::string& set_name,
                                          std::uint32_t* file_count)
{
    if (cluster_size == 0)
        cluster_size = 65536;
    GetNumFilesToBackup(source, destination, set_name);
    auto rounded = [cluster_size](std::uint64_t size) {
        return static_cast<std::int64_t>((size + cluster_size - 1) / cluster_size * cluster_size);
    };
    std::int64_t needed = 0;
    for (const auto size : m_vecBytesToWrite)
        needed += rounded(size);
    for (const auto size : m_vecBytesToFree)
        needed -= rounded(size);
    if (file_count)
        *file_count = m_nFileCount;
    return needed;
}

std::vector<FileDetails> KWBackupManager::CollectDetails(const std::filesystem::path& source)
{
    const bool wasCollecting = m_bCollecting;
    m_bCollecting = true;
    m_vecDetails.clear();
    GetNumFilesToBackup(source, "fake path", "fake set");
    m_bCollecting = wasCollecting;
    return m_vecDetails;
}

Status KWBackupManager::store_original_folder(const std::filesystem::path& set_folder,
                                              const std::filesystem::path& source)
{
    // The file names the folder with its trailing "/", as every copy of the suite reads it.
    return WriteInfoFile(set_folder, RemoveUNCPrefix(FolderText(source)));
}

// ---- the walk -------------------------------------------------------------

void KWBackupManager::copy_folders(const std::filesystem::path& source, const std::filesystem::path& destination)
{
    FolderListing listing;
    if (!ListFolder(source, listing)) {
        if (report_error(message(bm::kSourceFolder) + RemoveUNCPrefix(FolderText(source)) + message(bm::kNotFound)))
            m_bCancel = true;
        return;
    }
    if (const Status made = create_folder(destination); !made) {
        refuse_folder(made, source, destination);
        return;
    }

    const std::vector<int> refused = refused_names(listing.files, listing.folders, destination);

    // Each folder is read once; its files are grouped by the first filter that
    // matches them, so a file two filters match is handled once.
    std::vector<bool> taken(listing.files.size(), false);
    for (const auto& filter : m_vecFilters) {
        m_strCurrentExtension = filter;
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            if (taken[i] || !MatchesFilter(listing.files[i], filter))
                continue;
            taken[i] = true;
            if (refused[i]) {
                if (!m_bDryRun)
                    refuse_entry(refused[i], (source / listing.files[i]).string());
                if (m_bCancel)
                    return;
                continue;
            }
            m_bFileDone = false;
            move_file(source, destination, listing.files[i]);
            if (m_bCancel)
                return;
        }
    }
    for (std::size_t i = 0; i < listing.folders.size(); ++i) {
        const std::string& folder = listing.folders[i];
        // A source that holds the drive's backup folder must not walk into
        // the archives it is writing: each level would mirror itself again.
        if (source / folder == m_pathBackupFolder)
            continue;
        if (const int problem = refused[listing.files.size() + i]) {
            if (!m_bDryRun)
                refuse_entry(problem, FolderText(source / folder));
            if (m_bCancel)
                return;
            continue;
        }
        m_vecSubfolderStack.push_back(folder);
        copy_folders(source / folder, destination / folder);
        m_vecSubfolderStack.pop_back();
        if (m_bCancel)
            return;
    }
}

// The names this folder writes on the drive: the archives of the files a
// filter takes, then the subfolders. Where the drive folds case, of names
// equal but for case the one already stored under its own spelling, else the
// first in name order, keeps its generations, and the others fail.
std::vector<int> KWBackupManager::refused_names(const std::vector<std::string>& files,
                                                const std::vector<std::string>& folders,
                                                const std::filesystem::path& destination) const
{
    if (!m_driveNames.foldsCase && !m_driveNames.fatNames)
        return std::vector<int>(files.size() + folders.size(), 0);
    std::vector<std::string> names;
    for (const auto& file : files) {
        const bool taken = std::any_of(m_vecFilters.begin(), m_vecFilters.end(),
                                       [&file](const std::string& filter) { return MatchesFilter(file, filter); });
        names.push_back(taken ? file + ".zip" : std::string());
    }
    names.insert(names.end(), folders.begin(), folders.end());
    std::set<std::string> onDrive;
    if (m_driveNames.foldsCase)
        CountFolderEntries(destination, [&onDrive](int, const char* name) {
            onDrive.insert(name);
            return false;
        });
    return RefusedDriveNames(names, m_driveNames, onDrive);
}

Status KWBackupManager::create_folder(const std::filesystem::path& folder)
{
    // Not followed: a link planted on the drive would lead the archives, and
    // the generations they push down, anywhere. A dry run writes nothing and
    // counts the files the run will try.
    struct stat st {};
    const SetItem at = in_set(folder);
    if (::fstatat(at.folderFd, at.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISDIR(st.st_mode) || m_bDryRun ? Status::Ok() : Status::Fail(kSetFolderLinkKey);
    if (m_bDryRun) {
        // One cluster for each folder the run would create.
        if (m_setCountedFolders.insert(folder.string()).second)
            m_vecBytesToWrite.push_back(1);
        return Status::Ok();
    }
    if (::mkdirat(at.folderFd, at.path.c_str(), 0777) == 0)
        return Status::Ok();
    const int error = errno;
    if (error == EEXIST)
        // Made meanwhile by someone else: followed only when it is a folder.
        return ::fstatat(at.folderFd, at.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
                   ? Status::Ok()
                   : Status::Fail(kSetFolderLinkKey);
    return Status::FailErrno(kFolderUncreatableKey, error);
}

Status KWBackupManager::create_subfolders(const std::filesystem::path& base, const std::vector<std::string>& stack)
{
    std::filesystem::path folder = base;
    Status made = create_folder(folder);
    for (auto name = stack.begin(); made && name != stack.end(); ++name) {
        folder /= *name;
        made = create_folder(folder);
    }
    return made;
}

void KWBackupManager::refuse_folder(const Status& made, const std::filesystem::path& source,
                                    const std::filesystem::path& folder)
{
    if (made.messageKey == kSetFolderLinkKey) {
        refuse_entry(bm::kSetFolderLink, FolderText(folder));
        return;
    }
    // The drive full, read-only or gone: said once for the folder, with the
    // system's reason, rather than once for each of its files.
    ++m_nFailed;
    if (m_bWatching && stop_if_destination_gone())
        return;
    if (report_error(message(bm::kErrorCopying) + RemoveUNCPrefix(FolderText(source)) + message(bm::kTo) +
                     RemoveUNCPrefix(FolderText(folder)) + "\"\n" + made.detail))
        m_bCancel = true;
}

void KWBackupManager::refuse_entry(int number, const std::string& shown)
{
    ++m_nFailed;
    if (report_error(message(number) + "\n" + RemoveUNCPrefix(shown)))
        m_bCancel = true;
}

std::filesystem::path KWBackupManager::generation_folder(const char* generation,
                                                         const std::vector<std::string>& stack) const
{
    std::filesystem::path folder = m_pathSetFolder / generation;
    for (const auto& name : stack)
        folder /= name;
    return folder;
}

void KWBackupManager::move_file(const std::filesystem::path& source_folder,
                                const std::filesystem::path& destination_folder, const std::string& name)
{
    if (m_bCancel || m_bFileDone)
        return;
    // Files of one folder come in a row: the folder is checked once for them.
    if (destination_folder != m_pathCheckedFolder) {
        if (const Status made = create_folder(destination_folder); !made) {
            refuse_folder(made, source_folder, destination_folder);
            return;
        }
        m_pathCheckedFolder = destination_folder;
        // What a killed run left here goes before this run writes beside it.
        if (!m_bDryRun)
            RemoveLeftoverArchives(destination_folder);
    }
    const std::filesystem::path source = source_folder / name;
    const std::filesystem::path archive = destination_folder / (name + ".zip");

    // The archive decides: a source no newer than it (within 2 s) is up to date.
    if (const auto archiveTime = FileModificationTime(archive)) {
        const auto sourceTime = FileModificationTime(source);
        if (!sourceTime || CompareTimes(*sourceTime, *archiveTime) != 1)
            return;
    }

    if (m_bDryRun) {
        if (FileExists(archive)) {
            m_nDepth = 1;
            move_stored(destination_folder, generation_folder(kRecentBackup, m_vecSubfolderStack), name + ".zip",
                        m_vecSubfolderStack);
            m_nDepth = 0;
        }
        ++m_nFileCount;
        m_vecBytesToWrite.push_back(GetFileSize(source));
        if (m_bCollecting)
            store_details(source_folder, name);
        return;
    }
    schedule_archive(source_folder, destination_folder, name);
}

// Depths 1 and 2: a stored archive moves down one generation, pushing down
// (or, from "Recent Backup", deleting) the archive already there.
void KWBackupManager::move_stored(const std::filesystem::path& source_folder,
                                  const std::filesystem::path& destination_folder, const std::string& name,
                                  const std::vector<std::string>& stack)
{
    if (m_bCancel || m_bFileDone)
        return;
    const std::filesystem::path from = source_folder / name;
    const std::filesystem::path to = destination_folder / name;
    if (const Status made = create_subfolders(m_pathSetFolder / (m_nDepth == 1 ? kRecentBackup : kOldBackup), stack);
        !made) {
        refuse_folder(made, source_folder, destination_folder);
        m_bFileDone = true;
        return;
    }

    if (exists_in_set(to)) {
        if (m_nDepth == 1) {
            m_nDepth = 2;
            move_stored(destination_folder, generation_folder(kOldBackup, stack), name, stack);
            m_nDepth = 1;
            if (m_bDryRun || m_bCancel || m_bFileDone)
                return;
        } else if (m_bDryRun) {
            m_vecBytesToFree.push_back(GetFileSize(to));
            return;
        }
        // At depth 2 the oldest copy is replaced in one step by the rename.
    } else if (m_bDryRun) {
        return;
    }
    const SetItem fromAt = in_set(from);
    const SetItem toAt = in_set(to);
    if (::renameat(fromAt.folderFd, fromAt.path.c_str(), toAt.folderFd, toAt.path.c_str()) != 0) {
        const int error = errno;
        ++m_nFailed;
        if (stop_if_destination_gone())
            return;
        if (report_error(message(bm::kErrorMoving) + RemoveUNCPrefix(from.string()) + message(bm::kTo) +
                         RemoveUNCPrefix(to.string()) + "\"\n" + ErrnoText(error)))
            m_bCancel = true;
        else
            m_bFileDone = true;
    }
}

// ---- writing archives ahead -------------------------------------------------

void KWBackupManager::schedule_archive(const std::filesystem::path& source_folder,
                                       const std::filesystem::path& destination_folder, const std::string& name)
{
    PendingArchive pending{.sourceFolder = source_folder,
                           .destinationFolder = destination_folder,
                           .name = name,
                           .subfolders = m_vecSubfolderStack,
                           .temporary = destination_folder / TemporaryArchiveName(name),
                           .written = {}};
    auto work = [source = source_folder / name, temporary = pending.temporary, name, this] {
        return WriteSingleEntryZip(source, temporary, name, &m_bAbandon);
    };
    pending.written = m_pool ? m_pool->Submit(work) : std::async(std::launch::deferred, work);
    m_dequePending.push_back(std::move(pending));

    const std::size_t limit = m_pool ? kPendingPerThread * m_pool->Threads() : 0;
    while (m_dequePending.size() > limit && !m_bCancel) {
        PendingArchive next = std::move(m_dequePending.front());
        m_dequePending.pop_front();
        place_archive(next);
    }
}

void KWBackupManager::prepare_pool(const std::optional<unsigned>& threads)
{
    // Nothing is pending between runs, so a pool of another size may go.
    const unsigned wanted = threads.value_or(ArchivePool::DefaultThreads());
    if (wanted == 0)
        m_pool.reset();
    else if (!m_pool || m_pool->Threads() != wanted)
        m_pool = std::make_unique<ArchivePool>(wanted);
}

void KWBackupManager::drain_pending()
{
    while (!m_dequePending.empty()) {
        PendingArchive next = std::move(m_dequePending.front());
        m_dequePending.pop_front();
        place_archive(next);
    }
}

void KWBackupManager::discard_archive(PendingArchive& pending)
{
    if (pending.written.valid())
        pending.written.wait();
    ::unlink(pending.temporary.c_str());
}

// An archive written ahead is announced in the walk's order and joins the
// batch that waits for the drive's flush.
void KWBackupManager::place_archive(PendingArchive& pending)
{
    if (m_bCancel) {
        m_bAbandon = true;
        discard_archive(pending);
        return;
    }
    m_bFileDone = false;
    if (!m_callback.NotifyCopyingFile(FolderText(pending.sourceFolder), pending.name)) {
        m_bCancel = true;
        m_bAbandon = true;
        discard_archive(pending);
        return;
    }
    const std::filesystem::path source = pending.sourceFolder / pending.name;
    const std::filesystem::path archive = pending.destinationFolder / (pending.name + ".zip");
    const Status written = pending.written.get();
    if (!written.ok) {
        ::unlink(pending.temporary.c_str());
        ++m_nFailed;
        if (stop_if_destination_gone())
            return;
        if (report_error(message(bm::kErrorCopying) + RemoveUNCPrefix(source.string()) + message(bm::kTo) +
                         RemoveUNCPrefix(archive.string()) + "\"" +
                         (written.detail.empty() ? "" : "\n" + written.detail)))
            m_bCancel = true;
        return;
    }
    // Written after the set folder went (a drive pulled while it was
    // written): it has no place in the set the run found.
    if (m_bWatching && stop_if_destination_gone()) {
        ::unlink(pending.temporary.c_str());
        ++m_nFailed;
        return;
    }
    struct stat info {};
    const std::uint64_t size =
        ::lstat(pending.temporary.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    m_vecReady.push_back({.sourceFolder = std::move(pending.sourceFolder),
                          .destinationFolder = std::move(pending.destinationFolder),
                          .name = std::move(pending.name),
                          .subfolders = std::move(pending.subfolders),
                          .temporary = std::move(pending.temporary)});
    m_nReadyBytes += size;
    if (m_vecReady.size() >= m_batchBounds.files || m_nReadyBytes >= m_batchBounds.bytes)
        commit_ready();
}

// Flushes the drive once for the archives that wait, then gives each its
// name, pushing down the generations it replaces. A drive pulled before the
// flush ends then holds the earlier generations as they were, never an
// archive cut short under a real name. A failed flush fails the whole
// batch: the temporaries go, no generation moves, and the run stops, as a
// drive that cannot keep what it was given would not keep more.
void KWBackupManager::commit_ready()
{
    if (m_vecReady.empty())
        return;
    const std::vector<ReadyArchive> ready = std::exchange(m_vecReady, {});
    m_nReadyBytes = 0;
    const int folderFd = m_setFolder.Get();
    if (const int error = m_flush ? m_flush(folderFd) : FlushDriveAt(folderFd); error != 0) {
        m_nFlushError = error;
        m_nFailed += static_cast<std::uint32_t>(ready.size());
        for (const auto& archive : ready) {
            remove_temporary(archive.temporary);
        }
        m_bCancel = true;
        m_bAbandon = true;
        if (m_bWatching)
            stop_if_destination_gone();
        return;
    }
    // Archives finished before the run was stopped (a cancel, a drive that
    // went) still take their place, as they would have one by one; a stop
    // that comes while they do ends it there.
    const bool stoppedBefore = m_bCancel;
    m_bCancel = false;
    for (const auto& archive : ready) {
        if (m_bCancel) {
            remove_temporary(archive.temporary);
            continue;
        }
        place_ready(archive);
    }
    m_bCancel = m_bCancel || stoppedBefore;
}

// The archive is whole on the drive before anything rotates: a file whose
// archive cannot take its place leaves every generation as it was.
void KWBackupManager::place_ready(const ReadyArchive& ready)
{
    m_bFileDone = false;
    const std::filesystem::path source = ready.sourceFolder / ready.name;
    const std::filesystem::path archive = ready.destinationFolder / (ready.name + ".zip");
    const SetItem temporary = in_set(ready.temporary);
    if (exists_in_set(archive)) {
        m_nDepth = 1;
        move_stored(ready.destinationFolder, generation_folder(kRecentBackup, ready.subfolders), ready.name + ".zip",
                    ready.subfolders);
        m_nDepth = 0;
        if (m_bCancel || m_bFileDone) {
            remove_temporary(ready.temporary);
            return;
        }
    }
    const SetItem placed = in_set(archive);
    if (::renameat(temporary.folderFd, temporary.path.c_str(), placed.folderFd, placed.path.c_str()) != 0) {
        const int error = errno;
        remove_temporary(ready.temporary);
        ++m_nFailed;
        if (stop_if_destination_gone())
            return;
        if (report_error(message(bm::kErrorCopying) + RemoveUNCPrefix(source.string()) + message(bm::kTo) +
                         RemoveUNCPrefix(archive.string()) + "\"\n" + ErrnoText(error)))
            m_bCancel = true;
        return;
    }
    ++m_nStored;
}

KWBackupManager::SetItem KWBackupManager::in_set(const std::filesystem::path& item) const
{
    if (m_setFolder.IsOpen()) {
        const std::filesystem::path relative = item.lexically_relative(m_pathSetFolder);
        if (!relative.empty() && *relative.begin() != "..")
            return {m_setFolder.Get(), relative.string()};
    }
    return {AT_FDCWD, item.string()};
}

void KWBackupManager::remove_temporary(const std::filesystem::path& temporary) const
{
    const SetItem at = in_set(temporary);
    IgnoreResult(::unlinkat(at.folderFd, at.path.c_str(), 0), "a temporary left behind goes with the next run");
}

bool KWBackupManager::exists_in_set(const std::filesystem::path& item) const
{
    const SetItem at = in_set(item);
    struct stat st {};
    return ::fstatat(at.folderFd, at.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool KWBackupManager::report_error(const std::string& text)
{
    return m_callback.ErrorOccurred(text);
}

// A failure is often the first sign of a pulled drive. Asking about each
// remaining file would only collect more failures, so the run ends here.
bool KWBackupManager::stop_if_destination_gone()
{
    if (m_setWatch.StillThere())
        return false;
    m_bDestinationGone = true;
    m_bCancel = true;
    m_bAbandon = true;
    return true;
}
