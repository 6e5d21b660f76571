#include "util/BoundedRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace halvex {

bool ReadBoundedFile(const std::filesystem::path& file, std::size_t limit, std::string& text)
{
    text.clear();
    // O_NONBLOCK so a planted FIFO cannot hang the reader.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    std::string content;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (count == 0)
            break;
        if (content.size() + static_cast<std::size_t>(count) > limit) {
            ok = false;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    if (ok)
        text = std::move(content);
    return ok;
}

}  // namespace halvex
