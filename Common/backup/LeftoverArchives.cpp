#include "backup/LeftoverArchives.h"

#include <string>

#include "util/EndedWriters.h"

namespace halvex {

namespace {

constexpr std::string_view kPartialTag = ".zip.partial-";

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

}  // namespace halvex
