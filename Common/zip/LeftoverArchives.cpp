#include "zip/LeftoverArchives.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "util/EndedWriters.h"
#include "util/FolderEntries.h"

namespace halvex {

namespace {

constexpr std::string_view kPartialTag = ".zip.partial-";
constexpr std::string_view kRestoreTag = ".restore-";

// The writer's process id of a partial archive name, 0 when the name is not one.
pid_t WriterOf(std::string_view name)
{
    if (name.size() < 2 || name.front() != '.')
        return 0;
    const std::size_t tag = name.rfind(kPartialTag);
    if (tag == std::string_view::npos || tag == 0)
        return 0;
    return WriterPid(name.substr(tag + kPartialTag.size()), 2);
}

}  // namespace

bool IsPartialArchiveName(std::string_view name)
{
    return WriterOf(name) != 0;
}

std::size_t RemoveLeftoverArchives(const std::filesystem::path& folder)
{
    return RemoveFilesOfEndedWriters(folder, WriterOf);
}

std::size_t RemoveLeftoverRestores(const std::filesystem::path& folder, std::string_view name)
{
    const std::string prefix = "." + std::string(name) + ".restore-";
    return RemoveFilesOfEndedWriters(folder, [&prefix](std::string_view entry) -> pid_t {
        if (entry.size() <= prefix.size() || entry.substr(0, prefix.size()) != prefix)
            return 0;
        return WriterPid(entry.substr(prefix.size()), 2);
    });
}

std::multimap<std::string, std::string> LeftoverRestoresByName(const std::filesystem::path& folder)
{
    std::multimap<std::string, std::string> byName;
    CountFolderEntries(folder, [&byName](int folderFd, const char* entry) {
        const std::string_view name = entry;
        // ".NAME.restore-PID-N": the last tag, for NAME may hold one too.
        const std::size_t tag = name.rfind(kRestoreTag);
        if (name.size() < 2 || name.front() != '.' || tag == std::string_view::npos || tag < 2)
            return false;
        const pid_t writer = WriterPid(name.substr(tag + kRestoreTag.size()), 2);
        if (writer == 0 || !WriterEnded(writer))
            return false;
        struct stat info {};
        if (::fstatat(folderFd, entry, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            return false;
        byName.emplace(std::string(name.substr(1, tag - 1)), std::string(name));
        return true;
    });
    return byName;
}

}  // namespace halvex
