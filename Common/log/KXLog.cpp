#include "log/KXLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "util/FileMessageKeys.h"
#include "util/IgnoreResult.h"
#include "util/WriteAll.h"

namespace {

// The count written, or -1 when nothing could be.
ssize_t WriteCount(int fd, const char* data, std::size_t size)
{
    std::size_t written = 0;
    const int error = halvex::WriteAll(fd, data, size, &written);
    return error != 0 && written == 0 ? -1 : static_cast<ssize_t>(written);
}

}  // namespace

KXLog::~KXLog()
{
    halvex::IgnoreResult(Close(), "a destructor has no one to tell");
}

KXLog::KXLog(KXLog&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)), m_path(std::move(other.m_path)) {}

KXLog& KXLog::operator=(KXLog&& other) noexcept
{
    if (this != &other) {
        halvex::IgnoreResult(Close(), "the log taken over replaces this one");
        m_nFd = std::exchange(other.m_nFd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

halvex::Status KXLog::Open(const std::filesystem::path& path, bool truncate)
{
    if (halvex::Status closed = Close(); !closed)
        return closed;
    // Non-blocking for the open only: a FIFO planted at the path then fails
    // at once instead of hanging the sync run.
    const int flags =
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (truncate ? O_TRUNC : O_APPEND);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return halvex::Status::FailErrno(halvex::kFileSaveErrorKey, path, errno);
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)  // NOLINT(bugprone-branch-clone): each branch reads the errno of its own call
        error = errno;          // NOLINT(bugprone-branch-clone)
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;  // a FIFO or device planted at the path
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return halvex::Status::FailErrno(halvex::kFileSaveErrorKey, path, error);
    }
    m_nFd = fd;
    m_path = path;
    return halvex::Status::Ok();
}

ssize_t KXLog::Write(std::string_view text)
{
    if (m_nFd < 0)
        return -1;
    if (text.empty())
        return 0;
    const ssize_t count = WriteCount(m_nFd, text.data(), text.size());
    if (count >= 1)
        WriteLine();
    return count;
}

ssize_t KXLog::WriteLine()
{
    if (m_nFd < 0)
        return -1;
    return WriteCount(m_nFd, "\n", 1);
}

halvex::Status KXLog::Close()
{
    if (m_nFd < 0)
        return halvex::Status::Ok();
    const int fd = std::exchange(m_nFd, -1);
    // A close interrupted by a signal has still released the descriptor on
    // Linux; retrying could close someone else's.
    if (::close(fd) != 0 && errno != EINTR)
        return halvex::Status::FailErrno(halvex::kFileSaveErrorKey, m_path, errno);
    return halvex::Status::Ok();
}
