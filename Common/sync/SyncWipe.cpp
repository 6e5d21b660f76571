#include "sync/SyncWipe.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

namespace halvex {

namespace {

// Takes ownership of folderFd.
bool WipeAt(int folderFd, const SyncControl& control)
{
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return false;
    }
    bool ok = true;
    // Names are gathered first: removing entries while reading the folder
    // may make readdir skip some.
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        entries.emplace_back(name, e->d_type == DT_DIR || e->d_type == DT_UNKNOWN);
    }
    for (const auto& [name, maybeFolder] : entries) {
        if (control.HoldWhilePaused()) {
            ok = false;
            break;
        }
        if (::unlinkat(folderFd, name.c_str(), 0) == 0)
            continue;
        if (!maybeFolder && errno != EISDIR) {
            ok = false;
            continue;
        }
        const int sub = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0 || !WipeAt(sub, control)) {
            ok = false;
            if (control.Cancelled())
                break;
            continue;
        }
        if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
            ok = false;
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

bool WipeFolder(const std::filesystem::path& folder, const SyncControl& control)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 && WipeAt(fd, control);
}

}  // namespace halvex
