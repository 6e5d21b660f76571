#include "util/FileTime.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "util/FileMessageKeys.h"

namespace halvex {

std::optional<std::int64_t> FileModificationTime(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

Status SetFileModificationTime(const std::filesystem::path& path, std::int64_t nanoseconds)
{
    timespec times[2];
    times[0].tv_sec = nanoseconds / 1000000000;
    times[0].tv_nsec = nanoseconds % 1000000000;
    if (times[0].tv_nsec < 0) {
        times[0].tv_nsec += 1000000000;
        times[0].tv_sec -= 1;
    }
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        return Status::FailErrno(kFileSaveErrorKey, path, errno);
    return Status::Ok();
}

}  // namespace halvex
