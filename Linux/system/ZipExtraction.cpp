#include "system/ZipExtraction.h"

#include <fcntl.h>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "zip/ZipEntryName.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

// No real entry name comes near this; a longer one is damage.
constexpr uLong kMaxNameBytes = 4096;

struct EntryInfo {
    std::string name;
    unz_file_info64 info{};
};

class ZipReader {
public:
    explicit ZipReader(const fs::path& archive) : m_file(unzOpen64(archive.c_str())) {}
    ~ZipReader()
    {
        if (m_file != nullptr)
            unzClose(m_file);
    }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    unzFile handle() const { return m_file; }

    bool current(EntryInfo& entry) const
    {
        std::vector<char> name(kMaxNameBytes + 1, '\0');
        if (unzGetCurrentFileInfo64(m_file, &entry.info, name.data(), kMaxNameBytes + 1, nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        if (entry.info.size_filename > kMaxNameBytes)
            return false;
        entry.name.assign(name.data(), entry.info.size_filename);
        return true;
    }

private:
    unzFile m_file;
};

// Creates each folder of `relative` below `folder`; refuses links on the way.
Status MakeFolders(const fs::path& folder, const fs::path& relative)
{
    fs::path current = folder;
    for (const fs::path& part : relative) {
        current /= part;
        struct stat info{};
        if (::lstat(current.c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
                return Status::Fail("zip_unsafe_entry", current.string());
            continue;
        }
        if (::mkdir(current.c_str(), 0755) != 0 && errno != EEXIST)
            return Status::Fail("zip_write_failed", current.string() + ": " + std::strerror(errno));
    }
    return Status::Ok();
}

void RestoreTime(const fs::path& file, const unz_file_info64& info)
{
    std::tm when{};
    when.tm_year = static_cast<int>(info.tmu_date.tm_year) - 1900;
    when.tm_mon = static_cast<int>(info.tmu_date.tm_mon);
    when.tm_mday = static_cast<int>(info.tmu_date.tm_mday);
    when.tm_hour = static_cast<int>(info.tmu_date.tm_hour);
    when.tm_min = static_cast<int>(info.tmu_date.tm_min);
    when.tm_sec = static_cast<int>(info.tmu_date.tm_sec);
    when.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&when);
    if (seconds == static_cast<std::time_t>(-1))
        return;
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

Status WriteEntry(unzFile zip, const fs::path& target, const unz_file_info64& info)
{
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return Status::Fail("zip_damaged", target.filename().string());
    // O_NOFOLLOW: an existing link at the target is not written through.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        unzCloseCurrentFile(zip);
        return Status::Fail(error == ELOOP ? "zip_unsafe_entry" : "zip_write_failed",
                            target.string() + ": " + std::strerror(error));
    }
    std::vector<char> buffer(256 * 1024);
    Status status = Status::Ok();
    for (;;) {
        const int got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0) {
            status = Status::Fail("zip_damaged", target.filename().string());
            break;
        }
        if (got == 0)
            break;
        for (int done = 0; done < got;) {
            const ssize_t written = ::write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                status = Status::Fail("zip_write_failed", target.string() + ": " + std::strerror(errno));
                break;
            }
            done += static_cast<int>(written);
        }
        if (!status)
            break;
    }
    // A damaged entry shows as a CRC error at close.
    if (unzCloseCurrentFile(zip) != UNZ_OK && status)
        status = Status::Fail("zip_damaged", target.filename().string());
    const bool madeOnUnix = (info.version >> 8) == 3;
    const mode_t mode = static_cast<mode_t>(info.external_fa >> 16) & 0777;
    if (status && madeOnUnix && mode != 0)
        ::fchmod(fd, mode);
    if (::close(fd) != 0 && status)
        status = Status::Fail("zip_write_failed", target.string() + ": " + std::strerror(errno));
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
    std::vector<EntryInfo> entries;
    for (int result = unzGoToFirstFile(zip.handle()); result == UNZ_OK; result = unzGoToNextFile(zip.handle())) {
        EntryInfo entry;
        if (!zip.current(entry))
            return Status::Fail("zip_damaged", archive.string());
        if (!IsSafeEntryName(entry.name))
            return Status::Fail("zip_unsafe_entry", entry.name);
        entries.push_back(std::move(entry));
    }

    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        return Status::Fail("zip_write_failed", folder.string());

    std::size_t index = 0;
    for (int result = unzGoToFirstFile(zip.handle()); result == UNZ_OK && index < entries.size();
         result = unzGoToNextFile(zip.handle()), ++index) {
        const EntryInfo& entry = entries[index];
        const bool isFolder = entry.name.back() == '/' || entry.name.back() == '\\';
        const fs::path relative = fs::path(entry.name).lexically_normal();
        if (isFolder) {
            if (Status made = MakeFolders(folder, relative); !made)
                return made;
            continue;
        }
        if (relative.filename().empty() || relative.filename() == "." )
            return Status::Fail("zip_unsafe_entry", entry.name);
        if (Status made = MakeFolders(folder, relative.parent_path()); !made)
            return made;
        if (Status written = WriteEntry(zip.handle(), folder / relative, entry.info); !written)
            return written;
    }
    return Status::Ok();
}

}  // namespace halvex
