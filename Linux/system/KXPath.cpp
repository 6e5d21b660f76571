#include "system/KXPath.h"

#include <sys/stat.h>

#include <cerrno>

#include "system/KMSystem.h"

namespace fs = std::filesystem;

fs::path KXPath::AppendComponent(const fs::path& path, std::string_view name)
{
    // A leading separator must not make the name replace the whole path.
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return path / fs::path(name);
}

halvex::Status KXPath::ValidateFolder(const fs::path& path, bool create)
{
    using halvex::Status;
    std::error_code error;
    if (fs::is_directory(path, error))
        return Status::Ok();
    if (path.empty())
        return Status::Fail(KMSystem::kFolderErrorKey, "no path");
    if (!create)
        return Status::FailErrno(KMSystem::kFolderErrorKey, path, fs::exists(path, error) ? ENOTDIR : ENOENT);
    if (::mkdir(path.c_str(), 0755) == 0)
        return Status::Ok();
    const int reason = errno;
    if (reason == EEXIST && fs::is_directory(path, error))
        return Status::Ok();
    return Status::FailErrno(KMSystem::kFolderErrorKey, path, reason);
}
