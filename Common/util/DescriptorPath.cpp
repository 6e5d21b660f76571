#include "util/DescriptorPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace halvex {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

// One step of a walk; -1 with errno, ELOOP when `name` is a link (whatever
// the kernel answered for a link opened as a folder).
int OpenFolderStep(int fd, const char* name, MissingFolders missing, bool& created)
{
    int next = ::openat(fd, name, kFolderFlags);
    if (next < 0 && errno == ENOENT && missing == MissingFolders::Create) {
        if (::mkdirat(fd, name, 0777) == 0 || errno == EEXIST) {
            created = true;
            next = ::openat(fd, name, kFolderFlags);
        }
    }
    if (next < 0 && errno != ENOENT && IsLinkAt(fd, name))
        errno = ELOOP;
    return next;
}

}  // namespace

bool IsLinkAt(int folderFd, const char* name)
{
    struct stat info {};
    return ::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

int OpenFolderBelow(int rootFd, const std::filesystem::path& relative, MissingFolders missing, bool& created)
{
    int fd = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    for (const std::filesystem::path& part : relative) {
        if (fd < 0)
            return -1;
        const std::string& name = part.native();
        if (name.empty() || name == "." || name == "/")
            continue;
        if (name == "..") {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        const int next = OpenFolderStep(fd, name.c_str(), missing, created);
        const int error = errno;
        ::close(fd);
        errno = error;
        fd = next;
    }
    return fd;
}

Result<EntryBelow> OpenEntryBelow(int rootFd, std::string_view relative, MissingFolders missing,
                                  const std::filesystem::path& shownRoot, const std::string& key)
{
    using Entry = Result<EntryBelow>;
    const std::size_t slash = relative.rfind('/');
    EntryBelow entry;
    entry.name = std::string(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    if (entry.name.empty() || entry.name == "." || entry.name == "..")
        return Entry::FailErrno(key, shownRoot / relative, EINVAL);
    entry.folder = FileDescriptor(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    std::string walked;
    std::size_t start = 0;
    while (entry.folder.IsOpen() && slash != std::string_view::npos && start <= slash) {
        const std::size_t end = relative.find('/', start);
        const std::string part(relative.substr(start, end - start));
        start = end + 1;
        walked += (walked.empty() ? "" : "/") + part;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return Entry::FailErrno(key, shownRoot / walked, EINVAL);
        bool created = false;
        FileDescriptor next(OpenFolderStep(entry.folder.Get(), part.c_str(), missing, created));
        if (!next.IsOpen()) {
            const int error = errno;
            if (error != ELOOP)
                return Entry::FailErrno(key, shownRoot / walked, error);
            Status link = Status::Fail(key, (shownRoot / walked).string() + ": a link on the drive, not followed (" +
                                                std::string(relative) + " is left alone)");
            link.systemError = ELOOP;
            return Entry::From(std::move(link));
        }
        entry.folder = std::move(next);
    }
    if (!entry.folder.IsOpen())
        return Entry::FailErrno(key, shownRoot, errno);
    return Entry::Ok(std::move(entry));
}

}  // namespace halvex
