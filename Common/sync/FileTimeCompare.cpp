#include "sync/FileTimeCompare.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "copy/FileDescriptor.h"

namespace halvex {

int CompareTimes(bool sourceKnown, std::int64_t sourceSeconds, bool targetKnown, std::int64_t targetSeconds)
{
    if (!sourceKnown || !targetKnown) {
        if (sourceKnown)
            return 1;
        return targetKnown ? -1 : 0;
    }
    // The difference is taken unsigned: a damaged time stamp near either end of
    // the range must not overflow.
    const auto later = [](std::int64_t a, std::int64_t b) {
        return a > b && static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b) >
                            static_cast<std::uint64_t>(kSyncTimeTolerance);
    };
    if (later(sourceSeconds, targetSeconds))
        return 1;
    return later(targetSeconds, sourceSeconds) ? -1 : 0;
}

bool IsTimeZoneShift(std::int64_t a, std::int64_t b)
{
    constexpr std::uint64_t kQuarterHour = std::uint64_t{15} * 60;
    constexpr std::uint64_t kLargest = std::uint64_t{14} * 60 * 60;
    const std::uint64_t apart = a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                                      : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
    const auto tolerance = static_cast<std::uint64_t>(kSyncTimeTolerance);
    if (apart < kQuarterHour - tolerance || apart > kLargest + tolerance)
        return false;
    const std::uint64_t nearest = (apart + kQuarterHour / 2) / kQuarterHour * kQuarterHour;
    return (apart > nearest ? apart - nearest : nearest - apart) <= tolerance;
}

namespace {

// Reads up to size bytes, fewer only at the end of the file; -1 on an error.
ssize_t ReadFull(int fd, char* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

bool SameContents(int folderA, const char* nameA, int folderB, const char* nameB)
{
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const FileDescriptor a(::openat(folderA, nameA, kFlags));
    const FileDescriptor b(::openat(folderB, nameB, kFlags));
    struct stat sa {};
    struct stat sb {};
    if (!a.IsOpen() || !b.IsOpen() || ::fstat(a.Get(), &sa) != 0 || ::fstat(b.Get(), &sb) != 0 ||
        !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size)
        return false;
    constexpr std::size_t kChunk = std::size_t{64} * 1024;
    std::vector<char> left(kChunk);
    std::vector<char> right(kChunk);
    for (;;) {
        const ssize_t n = ReadFull(a.Get(), left.data(), kChunk);
        const ssize_t m = ReadFull(b.Get(), right.data(), kChunk);
        if (n < 0 || m < 0 || n != m || std::memcmp(left.data(), right.data(), static_cast<std::size_t>(n)) != 0)
            return false;
        if (n == 0)
            return true;
    }
}

int CompareFileTimes(const std::filesystem::path& source, const std::filesystem::path& target)
{
    struct stat s {
    }, t{};
    const bool sourceKnown = ::stat(source.c_str(), &s) == 0;
    const bool targetKnown = ::stat(target.c_str(), &t) == 0;
    return CompareTimes(sourceKnown, s.st_mtim.tv_sec, targetKnown, t.st_mtim.tv_sec);
}

}  // namespace halvex
