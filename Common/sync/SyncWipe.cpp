#include "sync/SyncWipe.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

namespace halvex {

namespace {

// Remembers the first entry that could not be removed; the wipe goes on past it.
void Keep(Status& failure, const std::filesystem::path& entry, int error)
{
    if (failure.ok)
        failure = Status::FailErrno(kSyncWipeIncompleteKey, entry, error);
}

// Takes ownership of folderFd. False when cancelled.
bool WipeAt(int folderFd, const std::filesystem::path& folder, const SyncControl& control, Status& failure)
{
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        Keep(failure, folder, errno);
        ::close(folderFd);
        return true;
    }
    // Names are gathered first: removing entries while reading the folder
    // may make readdir skip some.
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        entries.emplace_back(name, e->d_type == DT_DIR || e->d_type == DT_UNKNOWN);
    }
    bool going = true;
    for (const auto& [name, maybeFolder] : entries) {
        if (control.HoldWhilePaused()) {
            going = false;
            break;
        }
        if (::unlinkat(folderFd, name.c_str(), 0) == 0)
            continue;
        if (!maybeFolder && errno != EISDIR) {
            Keep(failure, folder / name, errno);
            continue;
        }
        const int sub = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            Keep(failure, folder / name, errno);
            continue;
        }
        if (!WipeAt(sub, folder / name, control, failure)) {
            going = false;
            break;
        }
        if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
            Keep(failure, folder / name, errno);
    }
    ::closedir(dir);
    return going;
}

}  // namespace

Status WipeFolder(const std::filesystem::path& folder, const SyncControl& control)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Status::FailErrno(kSyncWipeIncompleteKey, folder, errno);
    Status failure = Status::Ok();
    if (!WipeAt(fd, folder, control, failure))
        return Status::Cancelled();
    return failure;
}

}  // namespace halvex
