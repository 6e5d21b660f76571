#include "util/BoundedRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "util/FileMessageKeys.h"

namespace halvex {

Result<std::string> ReadBoundedFile(const std::filesystem::path& file, std::size_t limit)
{
    // O_NONBLOCK so a planted FIFO cannot hang the reader.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Result<std::string>::FailErrno(kFileReadErrorKey, file, errno);
    Result<std::string> content = ReadBoundedFrom(fd, file, limit);
    ::close(fd);
    return content;
}

Result<std::string> ReadBoundedFrom(int fd, const std::filesystem::path& file, std::size_t limit)
{
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return Result<std::string>::FailErrno(kFileReadErrorKey, file, errno);
        }
        if (count == 0)
            break;
        if (content.size() + static_cast<std::size_t>(count) > limit)
            return Result<std::string>::Fail(kFileReadErrorKey,
                                             file.string() + ": larger than " + std::to_string(limit) + " bytes");
        content.append(buffer, static_cast<std::size_t>(count));
    }
    return Result<std::string>::Ok(std::move(content));
}

}  // namespace halvex
