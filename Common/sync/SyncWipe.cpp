#include "sync/SyncWipe.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "copy/FileDescriptor.h"

namespace halvex {

Status WipeFolder(const std::filesystem::path& folder, const SyncControl& control, const std::shared_ptr<Trash>& trash)
{
    const FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.IsOpen())
        return Status::FailErrno(kSyncWipeIncompleteKey, folder, errno);
    // Names are gathered first: moving entries while reading the folder may
    // make readdir skip some.
    std::vector<std::string> names;
    {
        DIR* dir = ::fdopendir(::dup(folderFd.Get()));
        if (!dir)
            return Status::FailErrno(kSyncWipeIncompleteKey, folder, errno);
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    Status failure = Status::Ok();
    for (const std::string& name : names) {
        if (control.HoldWhilePaused())
            return Status::Cancelled();
        const Status moved = trash ? trash->Discard(folderFd.Get(), name, folder / name)
                                   : Status::FailErrno(kTrashFailedKey, folder / name, ENOTSUP);
        if (!moved.ok && failure.ok)
            failure = Status{false, kSyncWipeIncompleteKey, moved.detail, moved.systemError};
    }
    return failure;
}

}  // namespace halvex
