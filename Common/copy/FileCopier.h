#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "copy/FileDescriptor.h"
#include "util/Status.h"

namespace halvex {

// The keys of a failed copy. A system call that failed leaves its errno in
// Status::systemError: ENOSPC or EDQUOT for a full destination (see
// IsDiskFull), EFBIG for a file its file system cannot hold.
inline constexpr char kCopyFailedKey[] = "copy_failed";
// The destination is no longer as CopyOptions::expected says: left alone.
inline constexpr char kCopyChangedKey[] = "copy_destination_changed";

// The errors of a destination without room for the copy.
inline bool IsDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

// The destination as the caller last saw it.
struct ExpectedDestination {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t timeNs = 0;  // modification time, nanoseconds since the epoch
};

struct CopyOptions {
    bool keepTimes = true;        // access and modification time of the source
    bool keepMode = false;        // permission bits
    bool keepOwner = false;       // owner and group (only as root)
    bool keepAttributes = false;  // extended attributes; ENOTSUP on the destination is not an error
    // Checked between chunks. Pause holds the copy still until it clears or cancel is set.
    const std::atomic<bool>* cancel = nullptr;
    const std::atomic<bool>* pause = nullptr;
    // Called from the copying thread after each chunk; return false to cancel.
    std::function<bool(std::uint64_t done, std::uint64_t total)> progress;
    // false: an existing destination makes the copy fail with EEXIST before
    // anything is written, and it stays as it is.
    bool replace = true;
    // Flush the data to the device before the rename, so a drive pulled out
    // right after the copy never holds an empty file under the real name.
    bool durable = true;
    // When set, the destination is replaced only while it is still as
    // expected, checked again just before the rename; one that appeared,
    // went or changed meanwhile stays as it is (kCopyChangedKey).
    const ExpectedDestination* expected = nullptr;
    // Asked just before the rename: false leaves the destination as it is
    // and fails the copy with ENOENT (its folder is no longer the one meant,
    // as when a drive is pulled while the folder is open).
    std::function<bool()> stillWanted;
    // Called just before the copy takes the place of an existing
    // destination, with the destination's folder and name: it moves the old
    // file away (to the trash). Its failure fails the copy and leaves the
    // destination as it was.
    std::function<Status(int folderFd, const std::string& name)> setAside;
    // Size of the read and write buffer when the kernel cannot copy by
    // itself; 0 chooses it by the buffer rule (see CopyBuffer.h).
    std::size_t bufferSize = 0;
};

// Temporary copies are named with this prefix in the destination's folder;
// scans should pass over them.
inline constexpr std::string_view kCopyTemporaryPrefix = ".halvex-part-";

// Copies one regular file's data (copy_file_range, falling back to read and
// write) to a temporary hidden name in the destination's folder and renames it
// over the destination only when data, attributes and times are complete.
// A failed, cancelled or disk-full copy removes the temporary file and leaves
// any earlier destination untouched.
//
// Answers ok, Status::Cancelled() once the cancel flag was seen, or a
// failure whose detail names the source when it could not be opened or is no
// regular file, else the destination.
//
// A replaced file keeps what it was: unless keepMode asks for the source's,
// the copy takes the replaced file's permission bits, its owner where this
// process may give it, and its extended attributes and ACLs where both
// volumes keep them; until then the temporary file is private (0600). A new
// file gets the volume's default, as any new file.
Status CopyFileAtomic(const std::filesystem::path& source, const std::filesystem::path& destination,
                      const CopyOptions& options = {});

// The same between open folders, by plain names: neither the source nor the
// destination is followed if it is a link.
Status CopyFileAt(int sourceFolderFd, const std::string& sourceName, int destinationFolderFd,
                  const std::string& destinationName, const CopyOptions& options = {});

// A copy complete under its temporary name, not yet under its real one (see
// WriteCopyAt). Dropped or discarded before CommitCopy, its temporary goes and
// the destination stays as it was. Holds two descriptors: its folder and the
// lock that marks the temporary as in use.
class PendingCopy {
public:
    PendingCopy() = default;
    PendingCopy(PendingCopy&&) noexcept = default;
    PendingCopy& operator=(PendingCopy&& other) noexcept;
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;
    ~PendingCopy() { Discard(); }

    bool IsSet() const { return m_folder.IsOpen(); }
    int FolderFd() const { return m_folder.Get(); }
    std::uint64_t Size() const { return m_size; }
    const std::string& Name() const { return m_name; }
    void Discard();

private:
    friend int WritePendingCopy(int, const struct stat&, int, const std::string&, const CopyOptions&, PendingCopy&);
    friend int CommitPendingCopy(PendingCopy&, Status&);

    FileDescriptor m_folder;
    FileDescriptor m_lock;
    std::string m_temporary;
    std::string m_name;
    std::uint64_t m_size = 0;
    struct timespec m_accessed {};
    struct timespec m_modified {};
    bool m_keepTimes = true;
    bool m_durable = true;
    bool m_replace = true;
    bool m_hasExpected = false;
    ExpectedDestination m_expected;
    std::function<bool()> m_stillWanted;
    std::function<Status(int folderFd, const std::string& name)> m_setAside;
};

// The first half of CopyFileAt: writes the copy under its temporary name in
// the destination's folder and stops there. options.durable flushes this one
// file; a caller that gathers many flushes their file system once instead
// (CopyBatch) before it commits them. Progress, cancel and pause apply as in
// CopyFileAt; options.expected and options.stillWanted are kept for the
// commit, and checked again there.
Status WriteCopyAt(int sourceFolderFd, const std::string& sourceName, int destinationFolderFd,
                   const std::string& destinationName, const CopyOptions& options, PendingCopy& copy);

// Puts a finished temporary under its real name: the one place where a copy
// replaces its destination. The destination is replaced only while the copy
// is still wanted and the destination still as expected; on any failure the
// temporary goes and the destination stays. Answers as CopyFileAt; the copy
// is no longer set afterwards.
Status CommitCopy(PendingCopy& copy);

}  // namespace halvex
