#include "sync/SyncScanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "sync/FileTimeCompare.h"
#include "strings/KXStrings.h"
#include "util/FileDateText.h"
#include "util/FileSizeText.h"

namespace halvex {

namespace {

constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: vfat and msdos

bool EndsWithLnk(const char* name)
{
    const std::size_t n = std::strlen(name);
    return n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'l' && (name[n - 2] | 0x20) == 'n' &&
           (name[n - 1] | 0x20) == 'k';
}

bool OnFat(int folderFd)
{
    struct statfs fs {};
    return ::fstatfs(folderFd, &fs) == 0 && fs.f_type == kFatMagic;
}

// The FAT hidden attribute, when the driver lets us read it.
bool FatHidden(int folderFd, const char* name, bool isFolder)
{
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK |
                                                (isFolder ? O_DIRECTORY : 0));
    if (fd < 0)
        return false;
    std::uint32_t attributes = 0;
    const bool hidden = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0 && (attributes & ATTR_HIDDEN);
    ::close(fd);
    return hidden;
}

class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() { if (m_fd >= 0) ::close(m_fd); }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
private:
    int m_fd;
};

}  // namespace

struct SyncScanner::Pass {
    bool sourceUsb = false;
    std::string sourceRoot;
    std::string targetRoot;
    std::string relative;  // "" or "a/b/" : the folder in hand, with a trailing separator
    std::vector<ItemData>* rows = nullptr;
};

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
    ReportProgress();
    PaceWait(m_pacing.beforeScan, m_control);
    if (!ScanPass(false, computerFolder, driveFolder, rows))
        return false;
    if (!ScanPass(true, driveFolder, computerFolder, rows))
        return false;
    PaceWait(m_pacing.afterScan, m_control);
    return !m_control.Cancelled();
}

bool SyncScanner::ScanPass(bool sourceUsb, const std::filesystem::path& source,
                           const std::filesystem::path& target, std::vector<ItemData>& rows)
{
    Pass pass;
    pass.sourceUsb = sourceUsb;
    pass.sourceRoot = source.string();
    pass.targetRoot = target.string();
    if (pass.sourceRoot.empty() || pass.sourceRoot.back() != '/')
        pass.sourceRoot += '/';
    if (pass.targetRoot.empty() || pass.targetRoot.back() != '/')
        pass.targetRoot += '/';
    pass.rows = &rows;

    const int sourceFd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (sourceFd < 0)
        return !m_control.Cancelled();  // a folder that cannot be read yields no rows
    const int targetFd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return ScanFolder(sourceFd, targetFd, pass);
}

void SyncScanner::ReportProgress()
{
    const std::string message = m_recursion == Recursion::Into
        ? KXStrings::Format("sync_wait_msg", m_counters.foldersScanned, m_counters.filesScanned)
        : KXStrings::Format("sync_wait_msg_no_sub", m_counters.filesScanned);
    m_callback.OnScanProgress(m_counters, message);
}

// Takes ownership of both descriptors (targetFd may be -1: no such folder).
// Works on descriptors so that each entry costs one or two fstatat calls with
// a short name, whatever the depth.
bool SyncScanner::ScanFolder(int sourceFd, int targetFd, Pass& pass)
{
    FdGuard target(targetFd);
    DIR* dir = ::fdopendir(sourceFd);
    if (!dir) {
        ::close(sourceFd);
        return !m_control.Cancelled();
    }
    const bool fat = OnFat(sourceFd);
    bool finished = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (m_control.Cancelled()) {
            finished = false;
            break;
        }
        std::this_thread::yield();
        const char* name = entry->d_name;
        if (name[0] == '.')  // hidden, and "." and ".."
            continue;

        unsigned char type = entry->d_type;
        struct stat source {};
        bool sourceKnown = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(sourceFd, name, &source, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            sourceKnown = true;
            type = S_ISDIR(source.st_mode) ? DT_DIR : S_ISREG(source.st_mode) ? DT_REG : DT_LNK;
        }
        if (type != DT_DIR && type != DT_REG)  // symbolic links, devices, sockets
            continue;
        if (fat && FatHidden(sourceFd, name, type == DT_DIR))
            continue;

        if (type == DT_DIR) {
            if (m_recursion == Recursion::TopOnly)
                continue;
            ++m_counters.foldersScanned;
            ReportProgress();
            const int subSource = ::openat(sourceFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (subSource < 0)
                continue;
            // A target subfolder that is missing is not created here: every file
            // below then counts as missing.
            const int subTarget = target.get() < 0
                ? -1 : ::openat(target.get(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const std::size_t mark = pass.relative.size();
            pass.relative.append(name).push_back('/');
            const bool ok = ScanFolder(subSource, subTarget, pass);
            pass.relative.resize(mark);
            if (!ok) {
                finished = false;
                break;
            }
            continue;
        }

        if (EndsWithLnk(name))
            continue;
        ++m_counters.filesScanned;
        if (!sourceKnown)
            sourceKnown = ::fstatat(sourceFd, name, &source, AT_SYMLINK_NOFOLLOW) == 0;

        bool list = true;
        if (target.get() >= 0) {
            struct stat other {};
            if (::fstatat(target.get(), name, &other, AT_SYMLINK_NOFOLLOW) == 0) {
                // A link on the other side is not ours to replace.
                if (S_ISLNK(other.st_mode))
                    continue;
                list = CompareTimes(sourceKnown, source.st_mtim.tv_sec, true, other.st_mtim.tv_sec) == 1;
            } else if (errno != ENOENT && errno != ENOTDIR) {
                // It exists but its time cannot be read.
                list = CompareTimes(sourceKnown, source.st_mtim.tv_sec, false, 0) == 1;
            }
        }
        if (list)
            ListFile(sourceFd, name, sourceKnown, source, pass);
    }
    ::closedir(dir);
    return finished;
}

void SyncScanner::ListFile(int sourceFd, const char* name, bool sourceKnown, const struct stat& source, Pass& pass)
{
    ItemData row;
    row.path = pass.sourceRoot + pass.relative + name;
    row.dstPath = pass.targetRoot + pass.relative + name;
    row.name = name;
    row.sourceUsb = pass.sourceUsb;
    row.readable = sourceKnown && ::faccessat(sourceFd, name, R_OK, AT_EACCESS) == 0;
    if (row.readable) {
        row.size = static_cast<std::uint64_t>(source.st_size);
        row.date = source.st_mtim.tv_sec;
        row.sizeText = SizeText(row.size);
        row.dateText = FormatFileDate(static_cast<std::time_t>(row.date), m_dateFormat, m_timeFormat);
    }
    if (pass.sourceUsb)
        ++m_counters.toComputer;
    else
        ++m_counters.toDrive;
    pass.rows->push_back(std::move(row));
    ReportProgress();
    m_callback.OnRowAdded(pass.rows->back(), m_counters);
}

}  // namespace halvex
