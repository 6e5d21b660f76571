#include "sync/SyncScanner.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "strings/KXStrings.h"
#include "sync/FileTimeCompare.h"
#include "sync/FolderListing.h"
#include "util/FileDateText.h"
#include "util/FileSizeText.h"

namespace halvex {

namespace {

using Kind = FolderListing::Kind;

constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: vfat and msdos

// What pass 1 decided for a drive file it compared: pass 2 need not read it again.
constexpr std::int8_t kUndecided = 0;
constexpr std::int8_t kListFromDrive = 1;
constexpr std::int8_t kNotListed = -1;

bool EndsWithLnk(const char* name)
{
    const std::size_t n = std::strlen(name);
    return n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'l' && (name[n - 2] | 0x20) == 'n' &&
           (name[n - 1] | 0x20) == 'k';
}

bool OnFat(int folderFd)
{
    struct statfs fs {};
    return folderFd >= 0 && ::fstatfs(folderFd, &fs) == 0 && fs.f_type == kFatMagic;
}

// The FAT hidden attribute, when the driver lets us read it.
bool FatHidden(int folderFd, const char* name, bool isFolder)
{
    const int fd = ::openat(folderFd, name,
                            O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (isFolder ? O_DIRECTORY : 0));
    if (fd < 0)
        return false;
    std::uint32_t attributes = 0;
    const bool hidden = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0 && (attributes & ATTR_HIDDEN);
    ::close(fd);
    return hidden;
}

bool StatAt(int folderFd, const char* name, struct stat& st)
{
    return folderFd >= 0 && ::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int OpenFolderAt(int folderFd, const char* name, bool followLink)
{
    if (folderFd < 0)
        return -1;
    return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
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

}  // namespace

SyncScanner::SyncScanner(SyncCallback& callback, const SyncControl& control, Recursion recursion,
                         SyncPacing pacing)
    : m_callback(callback), m_control(control), m_recursion(recursion), m_pacing(pacing),
      m_dateFormat(UserShortDateFormat()), m_timeFormat(UserTimeFormatWithoutSeconds())
{
}

bool SyncScanner::Scan(const std::filesystem::path& computerFolder, const std::filesystem::path& driveFolder,
                       std::vector<ItemData>& rows)
{
    rows.clear();
    m_counters = {};
    m_computerRoot = WithSeparator(computerFolder);
    m_driveRoot = WithSeparator(driveFolder);
    m_relative.clear();
    ReportProgress();
    PaceWait(m_pacing.beforeScan, m_control);

    // A folder of the pair that cannot be read yields no rows from its side.
    const int computerFd = ::open(computerFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int driveFd = ::open(driveFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<ItemData> fromDrive;
    if (!WalkPair(computerFd, driveFd, rows, fromDrive))
        return false;
    for (ItemData& row : fromDrive)
        Announce(rows, std::move(row));
    PaceWait(m_pacing.afterScan, m_control);
    return !m_control.Cancelled();
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
    const std::string message = m_recursion == Recursion::Into
        ? KXStrings::Format("sync_wait_msg", m_counters.foldersScanned, m_counters.filesScanned)
        : KXStrings::Format("sync_wait_msg_no_sub", m_counters.filesScanned);
    m_callback.OnScanProgress(m_counters, message);
}

// Passes over hidden entries, links, devices and ".lnk" files, and
// subfolders when not recursing; counts what it lets through.
SyncScanner::EntryUse SyncScanner::Classify(const FolderListing& listing, std::size_t i, int folderFd, bool onFat)
{
    const Kind kind = listing.kind(i);
    if (kind != Kind::File && kind != Kind::Folder)
        return EntryUse::Skip;
    if (onFat && FatHidden(folderFd, listing.Name(i), kind == Kind::Folder))
        return EntryUse::Skip;
    if (kind == Kind::Folder) {
        if (m_recursion == Recursion::TopOnly)
            return EntryUse::Skip;
        ++m_counters.foldersScanned;
        ReportProgress();
        return EntryUse::Folder;
    }
    if (EndsWithLnk(listing.Name(i)))
        return EntryUse::Skip;
    ++m_counters.filesScanned;
    return EntryUse::File;
}

// Takes ownership of both descriptors; either may be -1 (no such folder).
// Pass 1 rows go to rows at once; pass 2 rows of this folder pair are
// gathered in fromDrive, in the drive folder's order.
bool SyncScanner::WalkPair(int computerFd, int driveFd, std::vector<ItemData>& rows,
                           std::vector<ItemData>& fromDrive)
{
    FdGuard computerGuard(computerFd);
    FdGuard driveGuard(driveFd);
    FolderListing computer;
    FolderListing drive;
    computer.Read(computerFd);
    drive.Read(driveFd);
    const bool computerFat = OnFat(computerFd);
    const bool driveFat = OnFat(driveFd);
    // Pass 2 rows of the drive subfolders walked together with their
    // computer twin, by the subfolder's place in the drive listing.
    std::vector<std::pair<std::size_t, std::vector<ItemData>>> walkedBlocks;

    // Pass 1: from the computer to the drive.
    for (std::size_t i = 0; i < computer.size(); ++i) {
        if (Stop())
            return false;
        const char* name = computer.Name(i);
        const EntryUse use = Classify(computer, i, computerFd, computerFat);
        if (use == EntryUse::Skip)
            continue;
        const std::ptrdiff_t twin = drive.Find(name);

        if (use == EntryUse::Folder) {
            const int sub = OpenFolderAt(computerFd, name, false);
            if (sub < 0)
                continue;
            // A missing drive subfolder is not created here: every file below counts as missing.
            const int driveSub = twin >= 0 ? OpenFolderAt(driveFd, name, true) : -1;
            std::vector<ItemData> block;
            RelativeScope scope(m_relative, name);
            if (!WalkPair(sub, driveSub, rows, block))
                return false;
            // Through a link on the drive side the block is not the drive's
            // own: pass 2 skips links, so it is dropped.
            if (twin >= 0 && drive[twin].kind == Kind::Folder) {
                drive[twin].walked = true;
                walkedBlocks.emplace_back(static_cast<std::size_t>(twin), std::move(block));
            }
            continue;
        }

        struct stat source {};
        const bool sourceKnown = StatAt(computerFd, name, source);
        bool list = true;
        if (twin >= 0) {
            if (drive[twin].kind == Kind::Link)
                continue;  // a link on the other side is not ours to replace
            struct stat target {};
            const bool targetKnown = StatAt(driveFd, name, target);
            const int newer = CompareTimes(sourceKnown, source.st_mtim.tv_sec, targetKnown, target.st_mtim.tv_sec);
            list = newer == 1;
            if (drive[twin].kind == Kind::File)
                drive[twin].verdict = newer == -1 ? kListFromDrive : kNotListed;
        }
        if (list)
            Announce(rows, MakeRow(false, computerFd, name, sourceKnown ? &source : nullptr));
    }

    // Pass 2: from the drive to the computer, meeting the walked blocks in the drive's order.
    std::sort(walkedBlocks.begin(), walkedBlocks.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t nextBlock = 0;
    for (std::size_t j = 0; j < drive.size(); ++j) {
        if (Stop())
            return false;
        const char* name = drive.Name(j);
        const EntryUse use = Classify(drive, j, driveFd, driveFat);
        if (use == EntryUse::Skip)
            continue;

        if (use == EntryUse::Folder) {
            if (drive[j].walked) {
                while (nextBlock < walkedBlocks.size() && walkedBlocks[nextBlock].first < j)
                    ++nextBlock;
                if (nextBlock < walkedBlocks.size() && walkedBlocks[nextBlock].first == j)
                    for (ItemData& row : walkedBlocks[nextBlock].second)
                        fromDrive.push_back(std::move(row));
                continue;
            }
            const int sub = OpenFolderAt(driveFd, name, false);
            if (sub < 0)
                continue;
            RelativeScope scope(m_relative, name);
            if (!WalkOneWay(true, sub, OpenFolderAt(computerFd, name, true), fromDrive))
                return false;
            continue;
        }

        if (drive[j].verdict == kNotListed)
            continue;
        struct stat source {};
        const bool sourceKnown = StatAt(driveFd, name, source);
        bool list = drive[j].verdict == kListFromDrive;
        if (!list) {
            // Not compared in pass 1: missing there, or not a plain file.
            const std::ptrdiff_t twin = computer.Find(name);
            if (twin < 0) {
                list = true;
            } else {
                if (computer[twin].kind == Kind::Link)
                    continue;
                struct stat target {};
                const bool targetKnown = StatAt(computerFd, name, target);
                list = CompareTimes(sourceKnown, source.st_mtim.tv_sec, targetKnown, target.st_mtim.tv_sec) == 1;
            }
        }
        if (list)
            fromDrive.push_back(MakeRow(true, driveFd, name, sourceKnown ? &source : nullptr));
    }
    return true;
}

// One direction only, for a folder that exists on the source side alone.
// Takes ownership of both descriptors.
bool SyncScanner::WalkOneWay(bool sourceUsb, int sourceFd, int targetFd, std::vector<ItemData>& out)
{
    FdGuard sourceGuard(sourceFd);
    FdGuard targetGuard(targetFd);
    FolderListing listing;
    listing.Read(sourceFd);
    const bool fat = OnFat(sourceFd);
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (Stop())
            return false;
        const char* name = listing.Name(i);
        const EntryUse use = Classify(listing, i, sourceFd, fat);
        if (use == EntryUse::Skip)
            continue;
        if (use == EntryUse::Folder) {
            const int sub = OpenFolderAt(sourceFd, name, false);
            if (sub < 0)
                continue;
            RelativeScope scope(m_relative, name);
            if (!WalkOneWay(sourceUsb, sub, OpenFolderAt(targetFd, name, true), out))
                return false;
            continue;
        }
        struct stat source {};
        const bool sourceKnown = StatAt(sourceFd, name, source);
        bool list = true;
        struct stat target {};
        if (StatAt(targetFd, name, target)) {
            if (S_ISLNK(target.st_mode))
                continue;
            list = CompareTimes(sourceKnown, source.st_mtim.tv_sec, true, target.st_mtim.tv_sec) == 1;
        } else if (targetFd >= 0 && errno != ENOENT && errno != ENOTDIR) {
            list = CompareTimes(sourceKnown, source.st_mtim.tv_sec, false, 0) == 1;  // there, time unreadable
        }
        if (list)
            out.push_back(MakeRow(sourceUsb, sourceFd, name, sourceKnown ? &source : nullptr));
    }
    return true;
}

ItemData SyncScanner::MakeRow(bool sourceUsb, int sourceFd, const char* name, const struct stat* source) const
{
    ItemData row;
    const std::string& sourceRoot = sourceUsb ? m_driveRoot : m_computerRoot;
    const std::string& targetRoot = sourceUsb ? m_computerRoot : m_driveRoot;
    row.path = sourceRoot + m_relative + name;
    row.dstPath = targetRoot + m_relative + name;
    row.name = name;
    row.sourceUsb = sourceUsb;
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

void SyncScanner::Announce(std::vector<ItemData>& rows, ItemData&& row)
{
    if (row.sourceUsb)
        ++m_counters.toComputer;
    else
        ++m_counters.toDrive;
    ReportProgress();
    if (m_rowKeeping == RowKeeping::CallbackOnly) {
        m_callback.OnRowAdded(row, m_counters);
        return;
    }
    rows.push_back(std::move(row));
    m_callback.OnRowAdded(rows.back(), m_counters);
}

}  // namespace halvex
