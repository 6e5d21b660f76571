#include "util/FolderEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace halvex {

namespace {

std::size_t CountEntries(DIR* dir, const std::function<bool(int folderFd, const char* name)>& visit)
{
    if (dir == nullptr)
        return 0;
    std::size_t counted = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
            visit(::dirfd(dir), entry->d_name))
            ++counted;
    }
    ::closedir(dir);
    return counted;
}

}  // namespace

std::size_t CountFolderEntries(const std::filesystem::path& folder,
                               const std::function<bool(int folderFd, const char* name)>& visit)
{
    return CountEntries(::opendir(folder.c_str()), visit);
}

std::size_t CountFolderEntries(int folderFd, const std::function<bool(int folderFd, const char* name)>& visit)
{
    // The stream owns its descriptor: a copy of the caller's, read from the start.
    const int own = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return 0;
    DIR* dir = ::fdopendir(own);
    if (dir == nullptr)
        ::close(own);
    return CountEntries(dir, visit);
}

}  // namespace halvex
