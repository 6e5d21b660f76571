#include "util/FolderEntries.h"

#include <dirent.h>

#include <cstring>

namespace halvex {

std::size_t CountFolderEntries(const std::filesystem::path& folder,
                               const std::function<bool(int folderFd, const char* name)>& visit)
{
    DIR* dir = ::opendir(folder.c_str());
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

}  // namespace halvex
