#include "backup/LeftoverArchives.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <functional>
#include <string>

namespace halvex {

namespace {

constexpr std::string_view kPartialTag = ".zip.partial-";

// The process id of "PID-N", 0 when the text is not of that form.
pid_t WriterOfNumbers(std::string_view rest)
{
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size())
        return 0;
    long pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (error != std::errc() || end != rest.data() + dash || pid <= 0)
        return 0;
    for (const char c : rest.substr(dash + 1))
        if (c < '0' || c > '9')
            return 0;
    return static_cast<pid_t>(pid);
}

// The writer's process id of a partial archive name, 0 when the name is not one.
pid_t WriterOf(std::string_view name)
{
    if (name.size() < 2 || name.front() != '.')
        return 0;
    const std::size_t tag = name.rfind(kPartialTag);
    if (tag == std::string_view::npos || tag == 0)
        return 0;
    return WriterOfNumbers(name.substr(tag + kPartialTag.size()));
}

bool WriterEnded(pid_t pid)
{
    if (pid == ::getpid())
        return false;
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

bool IsPartialArchiveName(std::string_view name)
{
    return WriterOf(name) != 0;
}

namespace {

std::size_t RemoveEndedWriters(const std::filesystem::path& folder,
                               const std::function<pid_t(std::string_view)>& writerOf)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t writer = writerOf(entry->d_name);
        if (writer == 0 || !WriterEnded(writer))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace

std::size_t RemoveLeftoverArchives(const std::filesystem::path& folder)
{
    return RemoveEndedWriters(folder, WriterOf);
}

std::size_t RemoveLeftoverRestores(const std::filesystem::path& folder, std::string_view name)
{
    const std::string prefix = "." + std::string(name) + ".restore-";
    return RemoveEndedWriters(folder, [&prefix](std::string_view entry) -> pid_t {
        if (entry.size() <= prefix.size() || entry.substr(0, prefix.size()) != prefix)
            return 0;
        return WriterOfNumbers(entry.substr(prefix.size()));
    });
}

}  // namespace halvex
