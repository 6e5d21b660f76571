#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include <minizip/unzip.h>

#include "util/Result.h"
#include "util/Status.h"

// Reading zip archives through minizip, shared by the restore of backup sets
// and the updater's unpacking. Archives come from the drive and the network:
// names and extra fields are read into bounded buffers, data is checked
// against its CRC.
namespace halvex {

// One entry of the central directory.
struct ZipEntry {
    std::string name;
    unz_file_info64 info{};
    std::string extra;  // the first kMaxExtraBytes of the extra field
};

class ZipReader {
public:
    // No real entry name comes near this; a longer one is damage.
    static constexpr uLong kMaxNameBytes = 4096;
    static constexpr uLong kMaxExtraBytes = 1024;

    explicit ZipReader(const std::filesystem::path& archive);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    unzFile handle() const { return m_file; }

    // The number of entries the directory states; "unzip_open" when it is damaged.
    Result<std::uint64_t> EntryCount() const;
    // Moves to the first or the next entry; false at the end or on damage.
    bool First() { return unzGoToFirstFile(m_file) == UNZ_OK; }
    bool Next() { return unzGoToNextFile(m_file) == UNZ_OK; }
    // The entry in hand; "unzip_name" when its record is unreadable or its
    // name too long.
    Result<ZipEntry> Current() const;

    // Inflates the entry in hand into `fd` in chunks; the CRC is checked at
    // the end. Fails with "unzip_read" (damaged entry or CRC mismatch),
    // "unzip_write" (errno text), or Status::Cancelled() when `cancel` was set.
    Status StreamCurrent(int fd, const std::atomic<bool>* cancel = nullptr);

private:
    unzFile m_file;
};

// Writes all of `data`; fails with "unzip_write" and the errno text.
Status WriteAllTo(int fd, const unsigned char* data, std::size_t size);

// The entry's DOS date (local time) in seconds since 1970; -1 when it is no time.
std::int64_t DosDateToSeconds(const tm_unz& date);

}  // namespace halvex
