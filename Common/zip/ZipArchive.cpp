#include "zip/ZipArchive.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <malloc.h>
#include <mutex>

#include <minizip/zip.h>

#include "zip/LeftoverArchives.h"
#include "zip/WholeEntryCodec.h"
#include "zip/ZipEntryName.h"
#include "zip/ZipReader.h"
#include "util/FileTime.h"
#include "util/IgnoreResult.h"

namespace halvex {

namespace {

constexpr std::size_t kChunk = std::size_t{256} * 1024;
constexpr std::uint16_t kExtendedTimestampId = 0x5455;
constexpr std::uint64_t kZip64Threshold = 0xFFFFFFFFull;
constexpr unsigned long kMadeByUnix = (3u << 8) | 20u;
constexpr unsigned long kUtf8NameFlag = 0x800;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes now and answers whether the data reached the file system.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool IsValidUtf8(const std::string& text, bool& hasNonAscii)
{
    hasNonAscii = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int follow = 0;
        if (c < 0x80)
            follow = 0;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
            follow = 1;
        else if ((c & 0xF0) == 0xE0)
            follow = 2;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
            follow = 3;
        else
            return false;
        if (follow)
            hasNonAscii = true;
        if (follow && i + follow >= text.size())
            return false;
        for (int k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += follow + 1;
    }
    return true;
}

void PutLe16(std::vector<unsigned char>& out, std::uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void PutLe32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}

// The Info-ZIP extended timestamp with the modification time only; it holds a
// signed 32-bit count of seconds, so times outside it get no field.
std::vector<unsigned char> ExtendedTimestamp(std::int64_t seconds)
{
    std::vector<unsigned char> field;
    if (seconds < INT32_MIN || seconds > INT32_MAX)
        return field;
    PutLe16(field, kExtendedTimestampId);
    PutLe16(field, 5);
    field.push_back(0x01);
    PutLe32(field, static_cast<std::uint32_t>(static_cast<std::int32_t>(seconds)));
    return field;
}

std::optional<std::int64_t> ReadExtendedTimestamp(const unsigned char* extra, std::size_t size)
{
    std::size_t at = 0;
    while (at + 4 <= size) {
        const std::uint16_t id = static_cast<std::uint16_t>(extra[at] | (extra[at + 1] << 8));
        const std::uint16_t length = static_cast<std::uint16_t>(extra[at + 2] | (extra[at + 3] << 8));
        const std::size_t data = at + 4;
        if (data + length > size)
            return std::nullopt;
        if (id == kExtendedTimestampId && length >= 5 && (extra[data] & 0x01)) {
            const std::uint32_t raw = static_cast<std::uint32_t>(extra[data + 1]) |
                                      (static_cast<std::uint32_t>(extra[data + 2]) << 8) |
                                      (static_cast<std::uint32_t>(extra[data + 3]) << 16) |
                                      (static_cast<std::uint32_t>(extra[data + 4]) << 24);
            return static_cast<std::int32_t>(raw);
        }
        at = data + length;
    }
    return std::nullopt;
}

// Large files stream through zlib; the first chunk tells whether their data
// compresses at all (photos, music and films do not).
bool LooksCompressible(const unsigned char* data, std::size_t size)
{
    const std::size_t sample = std::min<std::size_t>(size, std::size_t{64} * 1024);
    if (sample < 4096)
        return true;
    thread_local ScratchBuffer packed;
    unsigned char* out = packed.Reserve(sample);
    return !out || DeflateWhenSmaller(data, sample, out) != 0;
}

// Reads until `size` bytes are in or the file ends; -1 on a read error.
ssize_t ReadUpTo(int fd, unsigned char* data, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, data + filled, size - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(filled);
}

tm_zip ZipDate(std::int64_t seconds)
{
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    localtime_r(&t, &local);
    if (local.tm_year < 80) {  // DOS dates begin in 1980
        local = {};
        local.tm_year = 80;
        local.tm_mday = 1;
    }
    tm_zip date{};
    date.tm_sec = static_cast<uInt>(local.tm_sec);
    date.tm_min = static_cast<uInt>(local.tm_min);
    date.tm_hour = static_cast<uInt>(local.tm_hour);
    date.tm_mday = static_cast<uInt>(local.tm_mday);
    date.tm_mon = static_cast<uInt>(local.tm_mon);
    date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return date;
}

std::string TemporarySibling(const std::filesystem::path& target, const char* tag)
{
    static std::atomic<unsigned> counter{0};
    return (target.parent_path() / ("." + target.filename().string() + "." + tag + "-" + std::to_string(::getpid()) +
                                    "-" + std::to_string(counter.fetch_add(1))))
        .string();
}

// Every archive sets up and drops minizip's buffers (and, when it streams, a
// deflate state of a quarter megabyte). With
// the allocator's default the heap shrinks after each file and grows again
// for the next, and the fresh pages cost more than the compression of a small
// file; keeping freed memory for reuse avoids that.
void KeepFreedMemory()
{
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024); });
}

// The entry's data as it goes into the archive.
struct EntryBody {
    bool whole = false;                   // in memory, written raw with its CRC
    const unsigned char* data = nullptr;  // whole: the deflated or stored bytes
    std::size_t size = 0;                 // whole: bytes at data
    std::size_t original = 0;             // whole: the file's size
    std::uint32_t crc = 0;                // whole: the file's CRC
    int method = Z_DEFLATED;
    int level = Z_DEFAULT_COMPRESSION;
    std::vector<unsigned char> chunk;  // streamed: the chunk in hand
    std::size_t filled = 0;
};

// The buffers of a file held whole, one pair per thread, trimmed after each file.
ScratchBuffer& ReadBuffer()
{
    thread_local ScratchBuffer buffer;
    return buffer;
}

ScratchBuffer& PackedBuffer()
{
    thread_local ScratchBuffer buffer;
    return buffer;
}

// A file that fits in memory is read and deflated once, and the result
// decides between a deflated and a stored entry. A larger file, or one that
// grew past its size meanwhile, streams through zlib; its first chunk tells
// whether it compresses at all (photos, music and films do not).
Status PrepareBody(int fd, std::uint64_t statSize, EntryBody& body)
{
    if (statSize <= kWholeEntryLimit) {
        // One byte more than the size shows a file that grew meanwhile.
        const std::size_t room = static_cast<std::size_t>(statSize) + 1;
        unsigned char* data = ReadBuffer().Reserve(room);
        if (!data)
            return Status::FailErrno("zip_source", ENOMEM);
        const ssize_t got = ReadUpTo(fd, data, room);
        if (got < 0)
            return Status::FailErrno("zip_source", errno);
        if (static_cast<std::size_t>(got) < room) {
            body.whole = true;
            body.original = static_cast<std::size_t>(got);
            body.crc = Crc32(data, body.original);
            unsigned char* out = PackedBuffer().Reserve(body.original);
            body.size = out ? DeflateWhenSmaller(data, body.original, out) : 0;
            body.data = out;
            if (body.size == 0) {
                body.method = 0;
                body.level = 0;
                body.data = data;
                body.size = body.original;
            }
            return Status::Ok();
        }
        if (::lseek(fd, 0, SEEK_SET) != 0)
            return Status::FailErrno("zip_source", errno);
    }
    body.chunk.resize(kChunk);
    const ssize_t got = ReadUpTo(fd, body.chunk.data(), body.chunk.size());
    if (got < 0)
        return Status::FailErrno("zip_source", errno);
    body.filled = static_cast<std::size_t>(got);
    if (!LooksCompressible(body.chunk.data(), body.filled)) {
        body.method = 0;
        body.level = 0;
    }
    return Status::Ok();
}

Status ZipError(const char* key)
{
    return Status::FailErrno(key, errno ? errno : EIO);
}

// Writes the body into the entry just opened and closes the entry.
Status WriteBody(zipFile zip, int fd, EntryBody& body, const std::atomic<bool>* cancel)
{
    Status result = Status::Ok();
    if (body.whole) {
        errno = 0;
        if (cancel && cancel->load(std::memory_order_relaxed))
            result = Status::Cancelled();
        else if (body.size > 0 && zipWriteInFileInZip(zip, body.data, static_cast<unsigned>(body.size)) != ZIP_OK)
            result = ZipError("zip_write");
        errno = 0;
        if (zipCloseFileInZipRaw64(zip, body.original, body.crc) != ZIP_OK && result.ok)
            result = ZipError("zip_write");
        return result;
    }
    while (body.filled > 0) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result = Status::Cancelled();
            break;
        }
        errno = 0;
        if (zipWriteInFileInZip(zip, body.chunk.data(), static_cast<unsigned>(body.filled)) != ZIP_OK) {
            result = ZipError("zip_write");
            break;
        }
        const ssize_t got = ReadUpTo(fd, body.chunk.data(), body.chunk.size());
        if (got < 0) {
            result = Status::FailErrno("zip_source", errno);
            break;
        }
        body.filled = static_cast<std::size_t>(got);
    }
    errno = 0;
    if (zipCloseFileInZip(zip) != ZIP_OK && result.ok)
        result = ZipError("zip_write");
    return result;
}

}  // namespace

Status WriteSingleEntryZip(const std::filesystem::path& source, const std::filesystem::path& archive,
                           const std::string& entryName, const std::atomic<bool>* cancel)
{
    KeepFreedMemory();
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return Status::FailErrno("zip_source", errno);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        return Status::FailErrno("zip_source", errno);
    if (!S_ISREG(st.st_mode))
        return Status::Fail("zip_source", "not a regular file");

    const std::int64_t mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    zip_fileinfo info{};
    info.tmz_date = ZipDate(st.st_mtim.tv_sec);
    info.external_fa = static_cast<uLong>(S_IFREG | (st.st_mode & 0777)) << 16;
    const auto extra = ExtendedTimestamp(st.st_mtim.tv_sec);
    bool nonAscii = false;
    const unsigned long flags = (IsValidUtf8(entryName, nonAscii) && nonAscii) ? kUtf8NameFlag : 0;
    const int zip64 = static_cast<std::uint64_t>(st.st_size) >= kZip64Threshold ? 1 : 0;

    struct Trimmer {
        ~Trimmer()
        {
            ReadBuffer().Trim();
            PackedBuffer().Trim();
        }
    } trimAfterwards;
    EntryBody body;
    if (Status prepared = PrepareBody(in.get(), static_cast<std::uint64_t>(st.st_size), body); !prepared.ok)
        return prepared;

    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        return Status::FailErrno("zip_create", errno);
    Status result = Status::Ok();
    errno = 0;
    if (zipOpenNewFileInZip4_64(zip, entryName.c_str(), &info, extra.empty() ? nullptr : extra.data(),
                                static_cast<uInt>(extra.size()), extra.empty() ? nullptr : extra.data(),
                                static_cast<uInt>(extra.size()), nullptr, body.method, body.level, body.whole ? 1 : 0,
                                -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByUnix, flags,
                                zip64) != ZIP_OK)
        result = ZipError("zip_write");
    else
        result = WriteBody(zip, in.get(), body, cancel);
    errno = 0;
    if (zipClose(zip, nullptr) != ZIP_OK && result.ok)
        result = ZipError("zip_write");

    if (const Status timed = result.ok ? SetFileModificationTime(archive, mtimeNs) : Status::Ok(); !timed)
        result = Status::FailErrno("zip_write", timed.systemError);
    if (!result.ok)
        ::unlink(archive.c_str());
    return result;
}

Status CopyFileZip(const std::filesystem::path& source, const std::filesystem::path& destination)
{
    std::filesystem::path archive = destination;
    archive += ".zip";
    const std::string temporary = TemporarySibling(archive, "partial");
    if (Status written = WriteSingleEntryZip(source, temporary, source.filename().string()); !written.ok)
        return written;
    if (::rename(temporary.c_str(), archive.c_str()) != 0) {
        Status failed = Status::FailErrno("zip_write", archive, errno);
        ::unlink(temporary.c_str());
        return failed;
    }
    return Status::Ok();
}

bool IsPlainEntryName(const std::string& name)
{
    if (!IsSafeEntryName(name) || name == ".")
        return false;
    // A backup archive holds one file by its name: no folder part at all.
    for (const char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

namespace {

bool Cancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// An entry that fits in memory: its raw bytes are read whole, inflated with
// libdeflate into a buffer of exactly the size the directory states, and
// checked against the stored CRC before anything is written.
Status WriteWholeEntry(unzFile zip, int archiveFd, const unz_file_info64& info, int fd)
{
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(zip, &method, &level, 1) != UNZ_OK)
        return Status::Fail("unzip_read", "cannot open entry");
    // minizip has checked the local header and found where the data begins;
    // the raw bytes are read from there in one go.
    const ZPOS64_T at = unzGetCurrentFileZStreamPos64(zip);
    unzCloseCurrentFile(zip);
    thread_local ScratchBuffer raw;
    thread_local ScratchBuffer inflated;
    struct Trimmer {
        ~Trimmer()
        {
            raw.Trim();
            inflated.Trim();
        }
    } trimAfterwards;
    const auto packedSize = static_cast<std::size_t>(info.compressed_size);
    const auto size = static_cast<std::size_t>(info.uncompressed_size);
    unsigned char* in = raw.Reserve(packedSize);
    if (!in)
        return Status::FailErrno("unzip_read", ENOMEM);
    std::size_t got = 0;
    while (got < packedSize) {
        const ssize_t n = ::pread(archiveFd, in + got, packedSize - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got != packedSize)
        return Status::Fail("unzip_read", "damaged entry");

    const unsigned char* data = in;
    if (method == Z_DEFLATED) {
        unsigned char* out = inflated.Reserve(size);
        if (!out)
            return Status::FailErrno("unzip_read", ENOMEM);
        if (!InflateExactly(in, packedSize, out, size))
            return Status::Fail("unzip_read", "damaged entry");
        data = out;
    } else if (packedSize != size) {
        return Status::Fail("unzip_read", "damaged entry");
    }
    if (Crc32(data, size) != info.crc)
        return Status::Fail("unzip_read", "CRC mismatch");
    return WriteAllTo(fd, data, size);
}

Status ExtractCurrentEntry(ZipReader& zip, int archiveFd, const unz_file_info64& info,
                           const std::filesystem::path& target, std::optional<std::int64_t> exactSeconds,
                           const std::atomic<bool>* cancel, Leftovers leftovers, UnpackedArchive& unpacked)
{
    if (info.flag & 1)
        return Status::Fail("unzip_encrypted", "encrypted entry");
    const bool whole = archiveFd >= 0 && (info.compression_method == 0 || info.compression_method == Z_DEFLATED) &&
                       info.uncompressed_size <= kWholeEntryLimit && info.compressed_size <= kWholeEntryLimit;

    // A restore that was killed here before left its temporary beside the file.
    if (leftovers == Leftovers::Remove)
        RemoveLeftoverRestores(target.parent_path(), target.filename().string());
    const std::string temporary = TemporarySibling(target, "restore");
    const bool unixMode = (info.version >> 8) == 3 && ((info.external_fa >> 16) & 0777) != 0;
    const mode_t mode = unixMode ? static_cast<mode_t>((info.external_fa >> 16) & 0777) : 0666;
    FileDescriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (out.get() < 0)
        return Status::FailErrno("unzip_write", errno);

    Status result =
        whole ? WriteWholeEntry(zip.handle(), archiveFd, info, out.get()) : zip.StreamCurrent(out.get(), cancel);
    if (!out.close() && result.ok)
        result = Status::FailErrno("unzip_write", errno);
    if (result.ok) {
        const std::int64_t seconds = exactSeconds ? *exactSeconds : DosDateToSeconds(info.tmu_date);
        IgnoreResult(SetFileModificationTime(temporary, seconds * 1000000000),
                     "an entry's time is kept where it can be");
        unpacked.files.emplace_back(temporary, target);
    } else {
        ::unlink(temporary.c_str());
    }
    return result;
}

// A bare end-of-central-directory record: an archive of no entries.
bool IsEmptyArchive(const std::filesystem::path& archive)
{
    FileDescriptor in(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return false;
    unsigned char record[22];
    if (::read(in.get(), record, sizeof record) != static_cast<ssize_t>(sizeof record))
        return false;
    const unsigned char signature[4] = {'P', 'K', 5, 6};
    return std::equal(signature, signature + 4, record) && record[8] == 0 && record[9] == 0 && record[10] == 0 &&
           record[11] == 0;
}

}  // namespace

UnpackedArchive UnpackBeside(const std::filesystem::path& destination, const std::filesystem::path& archive,
                             const std::atomic<bool>* cancel, Leftovers leftovers)
{
    UnpackedArchive unpacked;
    Status& result = unpacked.status;
    ZipReader zip(archive);
    if (!zip.isOpen()) {
        // minizip refuses an archive without entries; that one is complete.
        if (!IsEmptyArchive(archive))
            result = Status::Fail("unzip_open", "not a readable zip archive");
        return unpacked;
    }
    const Result<std::uint64_t> entries = zip.EntryCount();
    if (!entries) {
        result = entries.status();
        return unpacked;
    }
    const std::uint64_t count = entries.value();
    if (count > 1) {
        result = Status::Fail("unzip_name", "the archive holds more than its own file");
        return unpacked;
    }
    const std::filesystem::path folder = destination.parent_path();
    const std::string expectedName = destination.filename().string();
    const FileDescriptor archiveFd(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));

    bool step = count > 0 && zip.First();
    for (std::uint64_t index = 0; index < count && result.ok; ++index) {
        if (Cancelled(cancel)) {
            result = Status::Cancelled();
            break;
        }
        if (!step) {
            result = Status::Fail("unzip_open", "damaged zip directory");
            break;
        }
        const Result<ZipEntry> current = zip.Current();
        if (!current) {
            result = current.status();
            break;
        }
        const ZipEntry& entry = current.value();
        const std::string& entryName = entry.name;
        if (!IsPlainEntryName(entryName)) {
            result = Status::Fail("unzip_name", "unsafe entry name: " + entryName);
            break;
        }
        // A backup archive holds its own file and nothing else: anything
        // beside it came from elsewhere and is not written at all.
        if (entryName != expectedName || index > 0) {
            result = Status::Fail("unzip_name", "the archive holds more than its own file: " + entryName);
            break;
        }
        const std::filesystem::path target = folder / entryName;
        const auto exact =
            ReadExtendedTimestamp(reinterpret_cast<const unsigned char*>(entry.extra.data()), entry.extra.size());
        result = ExtractCurrentEntry(zip, archiveFd.get(), entry.info, target, exact, cancel, leftovers, unpacked);
        if (result.ok && index + 1 < count)
            step = zip.Next();
    }
    if (!result.ok)
        DiscardUnpacked(unpacked);
    return unpacked;
}

Status PlaceUnpacked(UnpackedArchive& unpacked, Trash* trash)
{
    Status result = unpacked.status;
    for (const auto& [temporary, target] : unpacked.files) {
        struct stat existing {};
        if (result.ok && trash && ::lstat(target.c_str(), &existing) == 0) {
            const FileDescriptor folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            result = folder.get() >= 0 ? trash->Discard(folder.get(), target.filename().string(), target)
                                       : Status::FailErrno(kTrashFailedKey, target.parent_path(), errno);
        }
        if (result.ok && ::rename(temporary.c_str(), target.c_str()) != 0)
            result = Status::FailErrno("unzip_write", errno);
        if (!result.ok)
            ::unlink(temporary.c_str());
    }
    unpacked.files.clear();
    return result;
}

void DiscardUnpacked(UnpackedArchive& unpacked)
{
    for (const auto& file : unpacked.files)
        ::unlink(file.first.c_str());
    unpacked.files.clear();
}

Status CopyFileUnZip(const std::filesystem::path& destination, const std::filesystem::path& archive)
{
    UnpackedArchive unpacked = UnpackBeside(destination, archive);
    return PlaceUnpacked(unpacked);
}

}  // namespace halvex
