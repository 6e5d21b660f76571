#include "util/EndedWriters.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <limits>

#include "util/FolderEntries.h"

namespace halvex {

pid_t WriterPid(std::string_view text, int groups)
{
    long pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end == text.data() || text.front() == '-' || pid <= 0 ||
        pid > std::numeric_limits<pid_t>::max())
        return 0;
    // The groups after the first: "-" and at least one digit each, nothing more.
    std::string_view rest = text.substr(static_cast<std::size_t>(end - text.data()));
    for (int group = 1; group < groups; ++group) {
        if (rest.size() < 2 || rest.front() != '-')
            return 0;
        rest.remove_prefix(1);
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
            ++digits;
        if (digits == 0)
            return 0;
        rest.remove_prefix(digits);
    }
    return rest.empty() ? static_cast<pid_t>(pid) : 0;
}

bool WriterEnded(pid_t pid)
{
    if (pid == ::getpid())
        return false;
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

std::size_t RemoveFilesOfEndedWriters(const std::filesystem::path& folder,
                                      const std::function<pid_t(std::string_view)>& writerOf)
{
    return CountFolderEntries(folder, [&writerOf](int folderFd, const char* name) {
        const pid_t writer = writerOf(name);
        if (writer == 0 || !WriterEnded(writer))
            return false;
        struct stat info {};
        return ::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
               ::unlinkat(folderFd, name, 0) == 0;
    });
}

}  // namespace halvex
