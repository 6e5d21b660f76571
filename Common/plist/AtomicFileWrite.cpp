#include "plist/AtomicFileWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <string>

namespace halvex {

namespace {

namespace fs = std::filesystem;

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// File systems that cannot sync (some FUSE mounts) say so; that is no failure.
bool Flush(int fd) { return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP; }

// The writer's process id of a temporary named as CreateTemporary names them
// for `name` (".NAME.PID-N-STAMP.tmp"), 0 for any other name.
pid_t WriterOf(std::string_view entry, std::string_view name)
{
    const std::string prefix = "." + std::string(name) + ".";
    constexpr std::string_view suffix = ".tmp";
    if (entry.size() <= prefix.size() + suffix.size() || entry.substr(0, prefix.size()) != prefix ||
        entry.substr(entry.size() - suffix.size()) != suffix)
        return 0;
    const std::string_view numbers = entry.substr(prefix.size(), entry.size() - prefix.size() - suffix.size());
    int dashes = 0;
    for (const char c : numbers) {
        if (c == '-')
            ++dashes;
        else if (c < '0' || c > '9')
            return 0;
    }
    long pid = 0;
    const auto [end, error] = std::from_chars(numbers.data(), numbers.data() + numbers.size(), pid);
    if (dashes != 2 || error != std::errc() || *end != '-' || pid <= 0)
        return 0;
    return static_cast<pid_t>(pid);
}

// A write that was killed, or whose drive was pulled, left its temporary
// beside the file. Those of processes that have ended go before the next
// write of that file; one whose writer may still run stays.
void RemoveLeftoverTemporaries(const fs::path& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t writer = WriterOf(entry->d_name, name);
        if (writer == 0 || writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

int CreateTemporary(const fs::path& folder, const std::string& name, fs::path& temporary)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / ("." + name + "." + std::to_string(::getpid()) + "-" +
                              std::to_string(counter++) + "-" + std::to_string(stamp % 1000000) + ".tmp");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

bool WriteFileAtomic(const fs::path& target, std::string_view data)
{
    if (target.empty() || !target.has_filename())
        return false;
    std::error_code error;
    fs::path path = target;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        path = fs::weakly_canonical(path, error);
        if (error)
            return false;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");

    struct stat old {};
    const bool hadOld = ::stat(path.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode))
        return false;

    RemoveLeftoverTemporaries(folder, path.filename().string());
    fs::path temporary;
    const int fd = CreateTemporary(folder, path.filename().string(), temporary);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, data);
    if (ok && hadOld)
        (void)::fchmod(fd, old.st_mode & 07777);  // FAT and exFAT refuse; their files have no bits to keep
    ok = ok && Flush(fd);
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; a folder that cannot be opened or
    // synced does not undo a completed write.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

}  // namespace halvex
