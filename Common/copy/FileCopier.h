#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace halvex {

enum class CopyOutcome {
    Done,
    Cancelled,  // the cancel flag was seen; the destination is as it was
    Failed,     // any other error of this file (see error)
    DiskFull,   // ENOSPC or EDQUOT on the destination
    TooLarge,   // EFBIG: the file does not fit the destination's file system
    Changed,    // the destination is no longer as CopyOptions::expected says: left alone
};

// The destination as the caller last saw it.
struct ExpectedDestination {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t timeNs = 0;  // modification time, nanoseconds since the epoch
};

struct CopyResult {
    CopyOutcome outcome = CopyOutcome::Done;
    int error = 0;  // errno of the failing call, 0 when done or cancelled
    bool ok() const { return outcome == CopyOutcome::Done; }
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
    // went or changed meanwhile stays as it is (CopyOutcome::Changed).
    const ExpectedDestination* expected = nullptr;
    // Asked just before the rename: false leaves the destination as it is
    // and fails the copy with ENOENT (its folder is no longer the one meant,
    // as when a drive is pulled while the folder is open).
    std::function<bool()> stillWanted;
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
// A replaced file keeps what it was: unless keepMode asks for the source's,
// the copy takes the replaced file's permission bits, its owner where this
// process may give it, and its extended attributes and ACLs where both
// volumes keep them; until then the temporary file is private (0600). A new
// file gets the volume's default, as any new file.
CopyResult CopyFileAtomic(const std::filesystem::path& source, const std::filesystem::path& destination,
                          const CopyOptions& options = {});

// The same between open folders, by plain names: neither the source nor the
// destination is followed if it is a link.
CopyResult CopyFileAt(int sourceFolderFd, const std::string& sourceName, int destinationFolderFd,
                      const std::string& destinationName, const CopyOptions& options = {});

}  // namespace halvex
