#include "util/FileSizeText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/FileMessageKeys.h"

namespace halvex {

std::string SizeText(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"bytes", "KB", "MB", "GB", "TB"};
    if (bytes == 0)
        return "0 byte";
    // The unit is the largest power of 1024 the size reaches, found in whole
    // numbers: a floating-point logarithm lands just below 3 for exactly
    // 1 GiB on some libraries and would print "1024 MB".
    int unit = 0;
    std::uint64_t divisor = 1;
    while (unit < 4 && bytes / divisor >= 1024) {
        divisor *= 1024;
        ++unit;
    }
    if (unit == 0)
        return "1 KB";
    std::uint64_t count = bytes / divisor;
    if (bytes % divisor != 0)
        ++count;
    return std::to_string(count) + " " + kUnits[unit];
}

Result<std::string> FileSizeText(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Result<std::string>::FailErrno(kFileReadErrorKey, file, errno);
    struct stat st {};
    const int error = ::fstat(fd, &st) == 0 ? 0 : errno;
    ::close(fd);
    if (error != 0)
        return Result<std::string>::FailErrno(kFileReadErrorKey, file, error);
    return Result<std::string>::Ok(SizeText(static_cast<std::uint64_t>(st.st_size)));
}

}  // namespace halvex
