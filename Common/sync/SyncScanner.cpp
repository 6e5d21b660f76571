#include "sync/SyncScanner.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <string_view>
#include <utility>

#include "strings/KXStrings.h"
#include "sync/FileTimeCompare.h"
#include "sync/FolderListing.h"
#include "sync/SyncPassOver.h"
#include "sync/SyncProblem.h"
#include "sync/SyncRoots.h"
#include "util/FileDateText.h"
#include "util/FileSizeText.h"
#include "util/NameFolding.h"

namespace halvex {

namespace {

using Kind = FolderListing::Kind;

constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: vfat and msdos

bool OnFat(int folderFd)
{
    struct statfs fs {};
    return folderFd >= 0 && ::fstatfs(folderFd, &fs) == 0 && fs.f_type == kFatMagic;
}

bool StatAt(int folderFd, const char* name, struct stat& st)
{
    return folderFd >= 0 && ::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// A subfolder, never through a link.
int OpenFolderAt(int folderFd, const char* name)
{
    return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

bool IsLinkError(int error)
{
    return error == ELOOP || error == ENOTDIR;
}

class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Keeps the relative path in step with the recursion.
class RelativeScope {
public:
    RelativeScope(std::string& relative, const char* name) : m_relative(relative), m_mark(relative.size())
    {
        m_relative.append(name).push_back('/');
    }
    ~RelativeScope() { m_relative.resize(m_mark); }

private:
    std::string& m_relative;
    std::size_t m_mark;
};

std::string WithSeparator(const std::filesystem::path& p)
{
    std::string s = p.string();
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}

// A row the run reports instead of copying; `item` is on the drive when onDrive.
ItemData ProblemRow(std::filesystem::path item, bool onDrive, std::string key, std::string detail)
{
    ItemData row;
    row.name = item.filename().string();
    row.path = std::move(item);
    row.sourceUsb = onDrive;
    row.readable = false;
    row.problem = std::move(key);
    row.problemDetail = std::move(detail);
    return row;
}

}  // namespace

// The entries of both sides that one name stands for (one each, unless a
// side holds names that the other side would make one), and the pass 2 rows
// they give, shown where the group's first drive entry is met.
struct SyncScanner::Group {
    std::vector<std::uint32_t> computer;
    std::vector<std::uint32_t> drive;
    std::size_t heldBegin = 0;  // its pass 2 rows in m_pending
    std::size_t heldEnd = 0;
    bool done = false;
};

SyncScanner::SyncScanner(SyncCallback& callback, const SyncControl& control, SyncScanOptions options)
    : m_callback(callback),
      m_control(control),
      m_options(options),
      m_dateFormat(UserShortDateFormat()),
      m_timeFormat(UserTimeFormatWithoutSeconds())
{}

Status SyncScanner::Scan(const std::filesystem::path& computerFolder, const std::filesystem::path& driveFolder,
                         std::vector<ItemData>& rows)
{
    rows.clear();
    m_counters = {};
    m_computerRoot = WithSeparator(computerFolder);
    m_driveRoot = WithSeparator(driveFolder);
    m_computerRelative.clear();
    m_driveRelative.clear();
    m_computerFolds = FoldsCase(computerFolder);
    m_driveFolds = FoldsCase(driveFolder);
    ReportProgress();
    PaceWait(m_options.pacing.beforeScan, m_control);

    // A folder of the pair that does not exist yet yields no rows from its
    // side; one that exists but cannot be opened is a failure of the scan.
    m_pending = {};
    m_pendingText = {};
    int fds[2] = {-1, -1};
    const std::filesystem::path* roots[2] = {&computerFolder, &driveFolder};
    for (int side = 0; side < 2; ++side) {
        fds[side] = OpenSyncRoot(*roots[side], side == 1);
        if (fds[side] < 0 && errno != ENOENT) {
            const int error = errno;
            if (fds[0] >= 0)
                ::close(fds[0]);
            Place(ProblemRow(*roots[side], side == 1,
                             IsLinkError(error) && side == 1 ? kProblemLink : kProblemUnreadable, std::strerror(error)),
                  rows);
            AnnounceHeld(rows);
            return m_control.Cancelled() ? Status::Cancelled() : Status::Ok();
        }
    }
    if (!WalkPair(fds[0], fds[1], rows)) {
        m_pending = {};
        m_pendingText = {};
        return Status::Cancelled();
    }
    AnnounceHeld(rows);
    PaceWait(m_options.pacing.afterScan, m_control);
    return m_control.Cancelled() ? Status::Cancelled() : Status::Ok();
}

bool SyncScanner::Stop()
{
    if (m_control.Cancelled())
        return true;
    std::this_thread::yield();
    return false;
}

void SyncScanner::ReportProgress()
{
    const std::string message =
        m_options.recursion == Recursion::Into
            ? KXStrings::Format("sync_wait_msg", m_counters.foldersScanned, m_counters.filesScanned)
            : KXStrings::Format("sync_wait_msg_no_sub", m_counters.filesScanned);
    m_callback.OnScanProgress(m_counters, message);
}

// Passes over what the sync leaves alone (SyncPassesOver), and subfolders
// when not recursing; counts the files and folders it lets through.
SyncScanner::EntryUse SyncScanner::Classify(const FolderListing& listing, std::size_t i, int folderFd, bool onFat)
{
    const Kind kind = listing.kind(i);
    const char* name = listing.Name(i);
    const bool attributed = onFat && (kind == Kind::File || kind == Kind::Folder);
    if (SyncPassesOver(name, kind, attributed ? FatAttributesAt(folderFd, name, kind == Kind::Folder) : 0))
        return EntryUse::Skip;
    if (kind == Kind::Link)
        return EntryUse::Link;
    if (kind == Kind::Other)
        return EntryUse::Other;
    if (kind == Kind::Folder) {
        if (m_options.recursion == Recursion::TopOnly)
            return EntryUse::Skip;
        ++m_counters.foldersScanned;
        ReportProgress();
        return EntryUse::Folder;
    }
    ++m_counters.filesScanned;
    return EntryUse::File;
}

// Takes ownership of both descriptors; either may be -1 (no such folder on
// that side). Pass 1 rows go to rows at once; pass 2 rows of this folder pair
// are held in m_pending, in the drive folder's order.
bool SyncScanner::WalkPair(int computerFd, int driveFd, std::vector<ItemData>& rows)
{
    FdGuard computerGuard(computerFd);
    FdGuard driveGuard(driveFd);
    FolderListing listings[2];
    const int fds[2] = {computerFd, driveFd};
    for (int side = 0; side < 2; ++side) {
        if (fds[side] < 0)
            continue;
        if (const Status read = listings[side].Read(fds[side]); !read) {
            // Its files are not missing, only unknown: nothing below is
            // compared, on either side.
            const std::string& relative = side == 1 ? m_driveRelative : m_computerRelative;
            const std::filesystem::path folder = (side == 1 ? m_driveRoot : m_computerRoot) + relative;
            Place(ProblemRow(folder.parent_path(), side == 1, read.messageKey, read.detail), rows);
            return true;
        }
    }
    const FolderListing& computer = listings[0];
    const FolderListing& drive = listings[1];
    const bool computerFat = OnFat(computerFd);
    const bool driveFat = OnFat(driveFd);
    const bool fold = m_computerFolds || m_driveFolds;

    // Names grouped as a folding side sees them.
    std::vector<Group> groups;
    std::unordered_map<std::string, std::uint32_t> byKey;
    std::vector<std::uint32_t> computerGroup(computer.size(), UINT32_MAX);
    std::vector<std::uint32_t> driveGroup(drive.size(), UINT32_MAX);
    const auto place = [&](const FolderListing& listing, std::size_t i, bool onDrive) {
        const auto [at, added] = byKey.try_emplace(fold ? FoldedName(listing.Name(i)) : std::string(listing.Name(i)),
                                                   static_cast<std::uint32_t>(groups.size()));
        if (added)
            groups.emplace_back();
        (onDrive ? groups[at->second].drive : groups[at->second].computer).push_back(static_cast<std::uint32_t>(i));
        (onDrive ? driveGroup : computerGroup)[i] = at->second;
    };
    for (std::size_t i = 0; i < computer.size(); ++i)
        if (Classify(computer, i, computerFd, computerFat) != EntryUse::Skip)
            place(computer, i, false);
    for (std::size_t j = 0; j < drive.size(); ++j)
        if (Classify(drive, j, driveFd, driveFat) != EntryUse::Skip)
            place(drive, j, true);

    // Pass 1 in the computer's order; pass 2 in the drive's, each group's
    // drive rows where its first drive entry is.
    const std::size_t heldStart = m_pending.size();
    const auto pair = [&](Group& group) {
        group.done = true;
        group.heldBegin = m_pending.size();
        const bool going = Pair(group, computer, drive, computerFd, driveFd, rows);
        group.heldEnd = m_pending.size();
        return going;
    };
    for (std::size_t i = 0; i < computer.size(); ++i) {
        if (Stop())
            return false;
        if (computerGroup[i] == UINT32_MAX || groups[computerGroup[i]].done)
            continue;
        if (!pair(groups[computerGroup[i]]))
            return false;
    }
    for (std::size_t j = 0; j < drive.size(); ++j) {
        if (Stop())
            return false;
        if (driveGroup[j] == UINT32_MAX)
            continue;
        Group& group = groups[driveGroup[j]];
        if (group.drive.front() == j && !group.done && !pair(group))
            return false;
    }
    // The groups met in the computer's order put their drive rows down in
    // that order: set them in the drive's, moving only the small records.
    std::vector<PendingRow> ordered;
    std::size_t expected = heldStart;
    bool inOrder = true;
    for (std::size_t j = 0; j < drive.size() && inOrder; ++j) {
        if (driveGroup[j] == UINT32_MAX || groups[driveGroup[j]].drive.front() != j)
            continue;
        const Group& group = groups[driveGroup[j]];
        if (group.heldBegin != group.heldEnd) {
            inOrder = group.heldBegin == expected;
            expected = group.heldEnd;
        }
    }
    if (inOrder && expected == m_pending.size())
        return true;
    ordered.reserve(m_pending.size() - heldStart);
    for (std::size_t j = 0; j < drive.size(); ++j) {
        if (driveGroup[j] == UINT32_MAX || groups[driveGroup[j]].drive.front() != j)
            continue;
        const Group& group = groups[driveGroup[j]];
        ordered.insert(ordered.end(), m_pending.begin() + static_cast<std::ptrdiff_t>(group.heldBegin),
                       m_pending.begin() + static_cast<std::ptrdiff_t>(group.heldEnd));
    }
    // Rows of a group with no drive entry are not shown, as before.
    m_pending.resize(heldStart);
    m_pending.insert(m_pending.end(), ordered.begin(), ordered.end());
    return true;
}

// Decides one name: rows, problem rows, or a walk into a pair of subfolders.
bool SyncScanner::Pair(const Group& group, const FolderListing& computer, const FolderListing& drive, int computerFd,
                       int driveFd, std::vector<ItemData>& rows)
{
    if (group.computer.size() > 1 || group.drive.size() > 1) {
        // Copied over, either name would replace the other's file there.
        for (int side = 0; side < 2; ++side) {
            const auto& entries = side == 1 ? group.drive : group.computer;
            const FolderListing& listing = side == 1 ? drive : computer;
            if (entries.size() < 2)
                continue;
            std::string others;
            for (std::size_t k = 1; k < entries.size(); ++k)
                others += std::string(k > 1 ? ", " : "") + listing.Name(entries[k]);
            Problem(side == 1, listing.Name(entries[0]), kProblemNameClash, others, rows);
        }
        return true;
    }
    const char* computerName = group.computer.empty() ? nullptr : computer.Name(group.computer[0]);
    const char* driveName = group.drive.empty() ? nullptr : drive.Name(group.drive[0]);
    const Kind computerKind = computerName ? computer.kind(group.computer[0]) : Kind::Other;
    const Kind driveKind = driveName ? drive.kind(group.drive[0]) : Kind::Other;

    if (!computerName || !driveName) {
        // On one side only: links and devices stay where they are; a name
        // the other side cannot hold is reported.
        const bool onDrive = driveName != nullptr;
        const char* name = onDrive ? driveName : computerName;
        const Kind kind = onDrive ? driveKind : computerKind;
        if (kind != Kind::File && kind != Kind::Folder)
            return true;
        if (onDrive ? m_computerFolds : m_driveFolds) {
            if (std::string problem = FatNameProblem(name); !problem.empty()) {
                Problem(onDrive, name, problem, {}, rows);
                return true;
            }
        }
        if (kind == Kind::File) {
            PairFiles(computerName, driveName, computerFd, driveFd, rows);
            return true;
        }
        const int sub = OpenFolderAt(onDrive ? driveFd : computerFd, name);
        if (sub < 0) {
            Problem(onDrive, name, IsLinkError(errno) ? kProblemLink : kProblemUnreadable, std::strerror(errno), rows);
            return true;
        }
        RelativeScope computerScope(m_computerRelative, name);
        RelativeScope driveScope(m_driveRelative, name);
        return onDrive ? WalkPair(-1, sub, rows) : WalkPair(sub, -1, rows);
    }

    if (computerKind == Kind::Link || driveKind == Kind::Link) {
        if (computerKind != driveKind)
            Problem(driveKind == Kind::Link, driveKind == Kind::Link ? driveName : computerName, kProblemLink, {},
                    rows);
        return true;
    }
    if (computerKind != driveKind) {
        Problem(false, computerName, kProblemKindDiffers, {}, rows);
        return true;
    }
    if (computerKind == Kind::File) {
        PairFiles(computerName, driveName, computerFd, driveFd, rows);
        return true;
    }
    const int computerSub = OpenFolderAt(computerFd, computerName);
    if (computerSub < 0) {
        Problem(false, computerName, IsLinkError(errno) ? kProblemLink : kProblemUnreadable, std::strerror(errno),
                rows);
        return true;
    }
    const int driveSub = OpenFolderAt(driveFd, driveName);
    if (driveSub < 0) {
        const int error = errno;
        ::close(computerSub);
        Problem(true, driveName, IsLinkError(error) ? kProblemLink : kProblemUnreadable, std::strerror(error), rows);
        return true;
    }
    RelativeScope computerScope(m_computerRelative, computerName);
    RelativeScope driveScope(m_driveRelative, driveName);
    return WalkPair(computerSub, driveSub, rows);
}

// A file on one or both sides (a null name: not on that side); the newer
// copy is listed, under the name the destination already has.
void SyncScanner::PairFiles(const char* computerName, const char* driveName, int computerFd, int driveFd,
                            std::vector<ItemData>& rows)
{
    struct stat onComputer {};
    struct stat onDrive {};
    const bool computerKnown = computerName && StatAt(computerFd, computerName, onComputer);
    const bool driveKnown = driveName && StatAt(driveFd, driveName, onDrive);
    int newer = 0;
    if (computerName && driveName)
        newer = CompareTimes(computerKnown, onComputer.st_mtim.tv_sec, driveKnown, onDrive.st_mtim.tv_sec);
    else
        newer = computerName ? 1 : -1;
    if (newer == 0)
        return;
    // A FAT drive keeps local times: read in another time zone, every file
    // looks hours apart. Equal copies are no change; the contents are read
    // only for such pairs.
    if (computerKnown && driveKnown && S_ISREG(onComputer.st_mode) && S_ISREG(onDrive.st_mode) &&
        onComputer.st_size == onDrive.st_size && IsTimeZoneShift(onComputer.st_mtim.tv_sec, onDrive.st_mtim.tv_sec) &&
        SameContents(computerFd, computerName, driveFd, driveName)) {
        ++m_counters.timeShifted;
        return;
    }
    const bool fromDrive = newer < 0;
    ItemData row = fromDrive
                       ? MakeRow(true, driveFd, driveName, computerName, driveKnown ? &onDrive : nullptr)
                       : MakeRow(false, computerFd, computerName, driveName, computerKnown ? &onComputer : nullptr);
    const bool targetKnown = fromDrive ? computerKnown : driveKnown;
    const struct stat& target = fromDrive ? onComputer : onDrive;
    // A target that is there but cannot be looked at counts as changed: the
    // run will not replace what it could not compare.
    row.dstScanned = true;
    row.dstExists = (fromDrive ? computerName : driveName) != nullptr;
    if (targetKnown) {
        row.dstSize = static_cast<std::uint64_t>(target.st_size);
        row.dstTimeNs = static_cast<std::int64_t>(target.st_mtim.tv_sec) * 1'000'000'000 + target.st_mtim.tv_nsec;
    }
    Place(std::move(row), rows);
}

ItemData SyncScanner::MakeRow(bool fromDrive, int sourceFd, const char* name, const char* dstName,
                              const struct stat* source) const
{
    ItemData row;
    const std::string& sourceRoot = fromDrive ? m_driveRoot : m_computerRoot;
    const std::string& targetRoot = fromDrive ? m_computerRoot : m_driveRoot;
    const std::string& sourceRelative = fromDrive ? m_driveRelative : m_computerRelative;
    const std::string& targetRelative = fromDrive ? m_computerRelative : m_driveRelative;
    row.path = sourceRoot + sourceRelative + name;
    row.dstPath = targetRoot + targetRelative + (dstName ? dstName : name);
    row.name = name;
    row.sourceUsb = fromDrive;
    // A file that cannot be opened for reading is still listed, without size and date.
    row.readable = source && ::faccessat(sourceFd, name, R_OK, AT_EACCESS) == 0;
    if (row.readable) {
        row.size = static_cast<std::uint64_t>(source->st_size);
        row.date = source->st_mtim.tv_sec;
        row.sizeText = SizeText(row.size);
        row.dateText = FormatFileDate(static_cast<std::time_t>(row.date), m_dateFormat, m_timeFormat);
    }
    return row;
}

void SyncScanner::Problem(bool onDrive, const char* name, const std::string& key, std::string detail,
                          std::vector<ItemData>& rows)
{
    Place(ProblemRow((onDrive ? m_driveRoot + m_driveRelative : m_computerRoot + m_computerRelative) + name, onDrive,
                     key, std::move(detail)),
          rows);
}

// Pass 1 rows are shown at once; pass 2 rows where their drive folder is met.
void SyncScanner::Place(ItemData&& row, std::vector<ItemData>& rows)
{
    if (row.sourceUsb)
        Hold(row);
    else
        Announce(rows, std::move(row));
}

void SyncScanner::Hold(const ItemData& row)
{
    PendingRow held;
    held.problem = !row.problem.empty();
    std::string_view texts[3];
    if (held.problem) {
        texts[0] = row.path.native();
        texts[1] = row.problem;
        texts[2] = row.problemDetail;
    } else {
        // Both paths lie below their roots (MakeRow put them there).
        texts[0] = std::string_view(row.path.native()).substr(m_driveRoot.size());
        texts[1] = std::string_view(row.dstPath.native()).substr(m_computerRoot.size());
        held.readable = row.readable;
        held.size = row.size;
        held.date = row.date;
        held.dstExists = row.dstExists;
        held.dstSize = row.dstSize;
        held.dstTimeNs = row.dstTimeNs;
    }
    const std::size_t need = texts[0].size() + texts[1].size() + texts[2].size();
    constexpr std::size_t kChunk = 1u << 20;
    if (m_pendingText.empty() || m_pendingText.back().size() + need > m_pendingText.back().capacity()) {
        m_pendingText.emplace_back().reserve(std::max(kChunk, need));
    }
    std::string& chunk = m_pendingText.back();
    held.chunk = static_cast<std::uint32_t>(m_pendingText.size() - 1);
    held.offset = static_cast<std::uint32_t>(chunk.size());
    for (int k = 0; k < 3; ++k) {
        chunk.append(texts[k]);
        held.lengths[k] = static_cast<std::uint32_t>(texts[k].size());
    }
    m_pending.push_back(held);
}

// Makes each held row whole again only as it is shown, so a list that keeps
// rows its own way never meets them all at once in full.
void SyncScanner::AnnounceHeld(std::vector<ItemData>& rows)
{
    for (const PendingRow& held : m_pending) {
        std::string_view text(m_pendingText[held.chunk]);
        text.remove_prefix(held.offset);
        const std::string_view first = text.substr(0, held.lengths[0]);
        const std::string_view second = text.substr(held.lengths[0], held.lengths[1]);
        ItemData row;
        if (held.problem) {
            row = ProblemRow(std::filesystem::path(first), true, std::string(second),
                             std::string(text.substr(held.lengths[0] + held.lengths[1], held.lengths[2])));
        } else {
            row.path = m_driveRoot;
            row.path += first;
            row.dstPath = m_computerRoot;
            row.dstPath += second;
            row.name = row.path.filename().string();
            row.sourceUsb = true;
            row.readable = held.readable;
            if (row.readable) {
                row.size = held.size;
                row.date = held.date;
                row.sizeText = SizeText(row.size);
                row.dateText = FormatFileDate(static_cast<std::time_t>(row.date), m_dateFormat, m_timeFormat);
            }
            row.dstScanned = true;
            row.dstExists = held.dstExists;
            row.dstSize = held.dstSize;
            row.dstTimeNs = held.dstTimeNs;
        }
        Announce(rows, std::move(row));
    }
    m_pending = {};
    m_pendingText = {};
}

void SyncScanner::Announce(std::vector<ItemData>& rows, ItemData&& row)
{
    // A problem row is reported by the run, not copied: it is no file to copy.
    if (row.problem.empty())
        ++(row.sourceUsb ? m_counters.toComputer : m_counters.toDrive);
    ReportProgress();
    if (m_options.rowKeeping == RowKeeping::CallbackOnly) {
        m_callback.OnRowAdded(row, m_counters);
        return;
    }
    rows.push_back(std::move(row));
    m_callback.OnRowAdded(rows.back(), m_counters);
}

}  // namespace halvex
