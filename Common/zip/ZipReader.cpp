#include "zip/ZipReader.h"

#include <ctime>
#include <vector>

#include "util/WriteAll.h"

namespace halvex {

namespace {

constexpr std::size_t kChunk = std::size_t{256} * 1024;

}  // namespace

ZipReader::ZipReader(const std::filesystem::path& archive) : m_file(unzOpen64(archive.c_str())) {}

ZipReader::~ZipReader()
{
    if (m_file != nullptr)
        unzClose(m_file);
}

Result<std::uint64_t> ZipReader::EntryCount() const
{
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(m_file, &global) != UNZ_OK)
        return Result<std::uint64_t>::Fail("unzip_open", "damaged zip directory");
    return Result<std::uint64_t>::Ok(global.number_entry);
}

Result<ZipEntry> ZipReader::Current() const
{
    ZipEntry entry;
    std::vector<char> name(kMaxNameBytes + 1, '\0');
    std::vector<char> extra(kMaxExtraBytes, '\0');
    if (unzGetCurrentFileInfo64(m_file, &entry.info, name.data(), kMaxNameBytes + 1, extra.data(), kMaxExtraBytes,
                                nullptr, 0) != UNZ_OK)
        return Result<ZipEntry>::Fail("unzip_name", "unreadable entry name");
    if (entry.info.size_filename > kMaxNameBytes)
        return Result<ZipEntry>::Fail("unzip_name", "unreadable entry name");
    entry.name.assign(name.data(), entry.info.size_filename);
    entry.extra.assign(extra.data(), std::min<uLong>(entry.info.size_file_extra, kMaxExtraBytes));
    return Result<ZipEntry>::Ok(std::move(entry));
}

Status ZipReader::StreamCurrent(int fd, const std::atomic<bool>* cancel)
{
    if (unzOpenCurrentFile(m_file) != UNZ_OK)
        return Status::Fail("unzip_read", "cannot open entry");
    Status result = Status::Ok();
    std::vector<unsigned char> buffer(kChunk);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result = Status::Cancelled();
            break;
        }
        const int got = unzReadCurrentFile(m_file, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0) {
            result = Status::Fail("unzip_read", "damaged entry");
            break;
        }
        if (got == 0)
            break;
        result = WriteAllTo(fd, buffer.data(), static_cast<std::size_t>(got));
        if (!result.ok)
            break;
    }
    // A damaged entry shows as a CRC error at close.
    const int closed = unzCloseCurrentFile(m_file);
    if (result.ok && closed != UNZ_OK)
        result = Status::Fail("unzip_read", closed == UNZ_CRCERROR ? "CRC mismatch" : "damaged entry");
    return result;
}

Status WriteAllTo(int fd, const unsigned char* data, std::size_t size)
{
    if (int error = WriteAll(fd, data, size))
        return Status::FailErrno("unzip_write", error);
    return Status::Ok();
}

std::int64_t DosDateToSeconds(const tm_unz& date)
{
    struct tm local {};
    local.tm_sec = static_cast<int>(date.tm_sec);
    local.tm_min = static_cast<int>(date.tm_min);
    local.tm_hour = static_cast<int>(date.tm_hour);
    local.tm_mday = static_cast<int>(date.tm_mday);
    local.tm_mon = static_cast<int>(date.tm_mon);
    local.tm_year = static_cast<int>(date.tm_year) - 1900;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&local));
}

}  // namespace halvex
