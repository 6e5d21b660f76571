#include "util/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace halvex {

int WriteAll(int fd, const void* data, std::size_t size, std::size_t* written)
{
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, bytes + done, size - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            error = count < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    if (written)
        *written = done;
    return error;
}

}  // namespace halvex
