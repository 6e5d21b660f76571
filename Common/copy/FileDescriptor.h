#pragma once

#include <unistd.h>

#include <cerrno>

#include <utility>

namespace halvex {

// Owns one open file descriptor and closes it once.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~FileDescriptor() { Reset(); }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

    // Closes now and reports close's own error, which on network and FUSE
    // volumes may be the first sign that the data did not arrive.
    int Close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(std::exchange(m_fd, -1));
        return (result == 0 || errno == EINTR) ? 0 : errno;
    }

    void Reset()
    {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
    }

private:
    int m_fd = -1;
};

}  // namespace halvex
