#include "sync/FileTimeCompare.h"

#include <sys/stat.h>

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

int CompareFileTimes(const std::filesystem::path& source, const std::filesystem::path& target)
{
    struct stat s {
    }, t{};
    const bool sourceKnown = ::stat(source.c_str(), &s) == 0;
    const bool targetKnown = ::stat(target.c_str(), &t) == 0;
    return CompareTimes(sourceKnown, s.st_mtim.tv_sec, targetKnown, t.st_mtim.tv_sec);
}

}  // namespace halvex
