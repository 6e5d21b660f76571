#include "log/KXLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

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
    Close();
}

KXLog::KXLog(KXLog&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)) {}

KXLog& KXLog::operator=(KXLog&& other) noexcept
{
    if (this != &other) {
        Close();
        m_nFd = std::exchange(other.m_nFd, -1);
    }
    return *this;
}

bool KXLog::Open(const std::filesystem::path& path, bool truncate)
{
    if (!Close())
        return false;
    // Non-blocking for the open only: a FIFO planted at the path then fails
    // at once instead of hanging the sync run.
    const int flags =
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (truncate ? O_TRUNC : O_APPEND);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    m_nFd = fd;
    return true;
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

bool KXLog::Close()
{
    if (m_nFd < 0)
        return true;
    const int fd = std::exchange(m_nFd, -1);
    // A close interrupted by a signal has still released the descriptor on
    // Linux; retrying could close someone else's.
    return ::close(fd) == 0 || errno == EINTR;
}
