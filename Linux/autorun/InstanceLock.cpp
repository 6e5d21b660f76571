#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace halvex {

namespace {

constexpr const char* kLockName = "PelloryAutoRun.lock";

std::filesystem::path FromEnvironment(const char* variable)
{
    const char* value = std::getenv(variable);
    if (value == nullptr || *value != '/')
        return {};
    return value;
}

}  // namespace

InstanceLock::InstanceLock(const std::filesystem::path& file)
{
    m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        return;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Held;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::HeldByAnother : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::filesystem::path InstanceLock::DefaultFile()
{
    std::filesystem::path folder = FromEnvironment("XDG_RUNTIME_DIR");
    if (folder.empty()) {
        folder = FromEnvironment("XDG_CACHE_HOME");
        if (folder.empty()) {
            const std::filesystem::path home = FromEnvironment("HOME");
            if (home.empty())
                return {};
            folder = home / ".cache";
        }
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return folder / kLockName;
}

}  // namespace halvex
