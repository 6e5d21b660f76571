#include "plist/AtomicFileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>

#include "util/EndedWriters.h"
#include "util/FileMessageKeys.h"
#include "util/IgnoreResult.h"
#include "util/WriteAll.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

// File systems that cannot sync (some FUSE mounts) say so; that is no failure.
bool Flush(int fd)
{
    return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// A write that was killed, or whose drive was pulled, left its temporary
// beside the file (".NAME.PID-N-STAMP.tmp", see CreateTemporary). Those of
// processes that have ended go before the next write of that file; one whose
// writer may still run stays.
void RemoveLeftoverTemporaries(const fs::path& folder, const std::string& name)
{
    const std::string prefix = "." + name + ".";
    constexpr std::string_view suffix = ".tmp";
    RemoveFilesOfEndedWriters(folder, [&prefix, suffix](std::string_view entry) -> pid_t {
        if (entry.size() <= prefix.size() + suffix.size() || !entry.starts_with(prefix) || !entry.ends_with(suffix))
            return 0;
        return WriterPid(entry.substr(prefix.size(), entry.size() - prefix.size() - suffix.size()), 3);
    });
}

int CreateTemporary(const fs::path& folder, const std::string& name, fs::path& temporary, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / ("." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                              std::to_string(stamp % 1000000) + ".tmp");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A negative mode keeps the replaced file's bits (new files: 0666 less the umask).
Status WriteAtomic(const fs::path& target, std::string_view data, int mode)
{
    if (target.empty() || !target.has_filename())
        return Status::Fail(kFileSaveErrorKey, target.string() + ": no file name");
    std::error_code error;
    fs::path path = target;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        path = fs::weakly_canonical(path, error);
        if (error)
            return Status::Fail(kFileSaveErrorKey, target.string() + ": " + error.message());
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");

    struct stat old {};
    const bool hadOld = ::stat(path.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode))
        return Status::Fail(kFileSaveErrorKey, path.string() + ": not a regular file");

    RemoveLeftoverTemporaries(folder, path.filename().string());
    fs::path temporary;
    const int fd =
        CreateTemporary(folder, path.filename().string(), temporary, mode < 0 ? 0666 : static_cast<mode_t>(mode));
    if (fd < 0)
        return Status::FailErrno(kFileSaveErrorKey, folder, errno);
    // The first failure is the one to report; the later steps only clean up.
    int failure = WriteAll(fd, data.data(), data.size());
    const bool ok = failure == 0;
    if (ok && mode >= 0)
        IgnoreResult(::fchmod(fd, static_cast<mode_t>(mode)),
                     "created with no more than the mode; this only undoes the umask");
    else if (ok && hadOld)
        IgnoreResult(::fchmod(fd, old.st_mode & 07777), "FAT and exFAT refuse; their files have no bits to keep");
    if (failure == 0 && !Flush(fd))
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return Status::FailErrno(kFileSaveErrorKey, path, failure);
    }
    // Make the rename itself durable; a folder that cannot be opened or
    // synced does not undo a completed write.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        IgnoreResult(::fsync(folderFd), "the write is complete; only the rename's durability is at stake");
        ::close(folderFd);
    }
    return Status::Ok();
}

}  // namespace

Status RemoveLinkInPlace(const fs::path& target)
{
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(target.c_str()) != 0)
        return Status::FailErrno(kFileSaveErrorKey, target, errno);
    return Status::Ok();
}

Status WriteFileAtomic(const fs::path& target, std::string_view data)
{
    return WriteAtomic(target, data, -1);
}

Status WriteFileAtomic(const fs::path& target, std::string_view data, fs::perms mode)
{
    return WriteAtomic(target, data, static_cast<int>(mode & fs::perms::mask));
}

}  // namespace halvex
