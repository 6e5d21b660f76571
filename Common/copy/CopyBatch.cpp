#include "copy/CopyBatch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

namespace halvex {

bool CopyBatch::Add(std::size_t tag, PendingCopy copy)
{
    m_bytes += copy.Size();
    m_copies.emplace_back(tag, std::move(copy));
    return m_copies.size() >= m_bounds.files || m_bytes >= m_bounds.bytes;
}

int CopyBatch::Flush() const
{
    std::set<dev_t> flushed;
    int firstError = 0;
    for (const auto& entry : m_copies) {
        struct stat folder {};
        const int fd = entry.second.FolderFd();
        if (::fstat(fd, &folder) == 0 && !flushed.insert(folder.st_dev).second)
            continue;
        const int error = m_flush ? m_flush(fd) : (::syncfs(fd) == 0 ? 0 : errno);
        if (error != 0 && firstError == 0)
            firstError = error;
    }
    return firstError;
}

std::vector<std::pair<std::size_t, PendingCopy>> CopyBatch::Take()
{
    m_bytes = 0;
    return std::exchange(m_copies, {});
}

}  // namespace halvex
