#include "zip/ZipExtraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "zip/ZipEntryName.h"
#include "zip/ZipReader.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

// Creates each folder of `relative` below `folder`; refuses links on the way.
Status MakeFolders(const fs::path& folder, const fs::path& relative)
{
    fs::path current = folder;
    for (const fs::path& part : relative) {
        current /= part;
        struct stat info {};
        if (::lstat(current.c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
                return Status::Fail("zip_unsafe_entry", current.string());
            continue;
        }
        if (::mkdir(current.c_str(), 0755) != 0 && errno != EEXIST)
            return Status::FailErrno("zip_write_failed", current, errno);
        // Something may have taken the name since the look above: only a real folder will do.
        if (::lstat(current.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return Status::Fail("zip_unsafe_entry", current.string());
    }
    return Status::Ok();
}

void RestoreTime(const fs::path& file, const unz_file_info64& info)
{
    const std::int64_t seconds = DosDateToSeconds(info.tmu_date);
    if (seconds == -1)
        return;
    const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

Status WriteEntry(ZipReader& zip, const fs::path& target, const unz_file_info64& info)
{
    // O_NOFOLLOW: an existing link at the target is not written through.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        return Status::FailErrno(error == ELOOP ? "zip_unsafe_entry" : "zip_write_failed", target, error);
    }
    Status status = zip.StreamCurrent(fd);
    if (!status)
        status = status.messageKey == "unzip_write" ? Status::FailErrno("zip_write_failed", target, status.systemError)
                                                    : Status::Fail("zip_damaged", target.filename().string());
    const bool madeOnUnix = (info.version >> 8) == 3;
    const mode_t mode = static_cast<mode_t>(info.external_fa >> 16) & 0777;
    if (status && madeOnUnix && mode != 0)
        ::fchmod(fd, mode);
    if (::close(fd) != 0 && status)
        status = Status::FailErrno("zip_write_failed", target, errno);
    if (status)
        RestoreTime(target, info);
    return status;
}

}  // namespace

Status ExtractZipArchive(const fs::path& archive, const fs::path& folder)
{
    std::error_code error;
    if (!fs::is_regular_file(archive, error))
        return Status::Fail("zip_missing", archive.string());
    ZipReader zip(archive);
    if (!zip.isOpen())
        return Status::Fail("zip_damaged", archive.string());

    // First pass: every name, before anything is written.
    std::vector<ZipEntry> entries;
    for (bool more = zip.First(); more; more = zip.Next()) {
        Result<ZipEntry> entry = zip.Current();
        if (!entry)
            return Status::Fail("zip_damaged", archive.string());
        if (!IsSafeEntryName(entry.value().name))
            return Status::Fail("zip_unsafe_entry", entry.value().name);
        entries.push_back(std::move(entry).value());
    }

    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        return Status::Fail("zip_write_failed", folder.string());

    std::size_t index = 0;
    for (bool more = zip.First(); more && index < entries.size(); more = zip.Next(), ++index) {
        const ZipEntry& entry = entries[index];
        const bool isFolder = entry.name.back() == '/' || entry.name.back() == '\\';
        const fs::path relative = fs::path(entry.name).lexically_normal();
        if (isFolder) {
            if (Status made = MakeFolders(folder, relative); !made)
                return made;
            continue;
        }
        if (relative.filename().empty() || relative.filename() == ".")
            return Status::Fail("zip_unsafe_entry", entry.name);
        if (Status made = MakeFolders(folder, relative.parent_path()); !made)
            return made;
        if (Status written = WriteEntry(zip, folder / relative, entry.info); !written)
            return written;
    }
    return Status::Ok();
}

}  // namespace halvex
