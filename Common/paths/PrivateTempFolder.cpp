#include "paths/PrivateTempFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace halvex {

namespace {

constexpr const char* kErrorKey = "temp_folder_err";

// A folder is private when it is a real folder (not a link), the user's own,
// and closed to group and others. The check goes through a descriptor so it
// speaks of the folder that was opened, not of whatever the name points to
// a moment later.
Status CheckPrivate(const std::filesystem::path& folder, uid_t uid)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR)
            return Status::Fail(kErrorKey, folder.string() + " is not a folder of its own");
        return Status::FailErrno(kErrorKey, folder, error);
    }
    struct stat st {};
    const int rc = ::fstat(fd, &st);
    const int error = errno;
    ::close(fd);
    if (rc != 0)
        return Status::FailErrno(kErrorKey, folder, error);
    if (!S_ISDIR(st.st_mode))
        return Status::Fail(kErrorKey, folder.string() + " is not a folder");
    if (st.st_uid != uid)
        return Status::Fail(kErrorKey, folder.string() + " belongs to another user");
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return Status::Fail(kErrorKey, folder.string() + " is open to other users");
    return Status::Ok();
}

}  // namespace

TempFolderSources CurrentTempFolderSources()
{
    TempFolderSources sources;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        sources.runtimeDir = runtime;
    if (const char* tmp = std::getenv("TMPDIR"))
        sources.tmpDir = tmp;
    sources.uid = ::geteuid();
    return sources;
}

Result<std::filesystem::path> PrivateTempFolderFrom(const TempFolderSources& sources)
{
    using Answer = Result<std::filesystem::path>;
    // The runtime folder is the user's by definition; one that is not
    // (a stale variable after su) is passed over, not trusted.
    if (!sources.runtimeDir.empty() && sources.runtimeDir.front() == '/') {
        const std::filesystem::path runtime(sources.runtimeDir);
        if (CheckPrivate(runtime, sources.uid))
            return Answer::Ok(runtime);
    }

    const std::filesystem::path base =
        !sources.tmpDir.empty() && sources.tmpDir.front() == '/' ? sources.tmpDir : "/tmp";
    const std::filesystem::path candidate = base / ("halvex-" + std::to_string(sources.uid));
    if (::mkdir(candidate.c_str(), 0700) != 0 && errno != EEXIST)
        return Answer::FailErrno(kErrorKey, candidate, errno);
    // Made now or before, by this user or another: only the check decides.
    if (Status status = CheckPrivate(candidate, sources.uid); !status)
        return Answer::From(std::move(status));
    return Answer::Ok(candidate);
}

Result<std::filesystem::path> PrivateTempFolder()
{
    return PrivateTempFolderFrom(CurrentTempFolderSources());
}

}  // namespace halvex
