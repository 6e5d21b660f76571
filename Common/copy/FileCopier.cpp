#include "copy/FileCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "copy/CopyBuffer.h"
#include "copy/ExtendedAttributes.h"
#include "copy/FileDescriptor.h"
#include "copy/FileMetadata.h"
#include "copy/LeftoverCopies.h"
#include "copy/TemporaryName.h"
#include "util/IgnoreResult.h"
#include "util/WriteAll.h"

namespace halvex {

namespace {

// Internal markers for "stopped on request" and "the destination changed";
// never reported as errors.
constexpr int kCancelled = ECANCELED;
constexpr int kChanged = -1;
// The replaced file could not be set aside; its own status tells why.
constexpr int kNotSetAside = -2;

// The caller's answer for an error of this file's copy (0: done).
Status StatusFor(int error, const std::filesystem::path& where, const Status& setAside = {})
{
    switch (error) {
    case kNotSetAside: return setAside;
    case 0: return Status::Ok();
    case kCancelled: return Status::Cancelled();
    case kChanged: return Status::Fail(kCopyChangedKey, where.string());
    default: return Status::FailErrno(kCopyFailedKey, where, error);
    }
}

bool IsSet(const std::atomic<bool>* flag)
{
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

// Holds still while paused; answers kCancelled once cancel is set.
int WaitUnlessCancelled(const CopyOptions& options)
{
    while (IsSet(options.pause) && !IsSet(options.cancel))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return IsSet(options.cancel) ? kCancelled : 0;
}

// Errors after which read and write may still work where the kernel's own
// copy does not (another volume, a file system without the call, old kernels).
bool KernelCopyUnavailable(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP ||
           error == EBADF;
}

// Copies from the current offsets to the end of the source, in kernel where
// possible. Both descriptors' offsets advance, so switching to read and write
// halfway continues where the kernel stopped.
int CopyData(int in, int out, std::uint64_t total, const CopyOptions& options)
{
    const std::size_t chunk = ClampCopyBufferSize(options.bufferSize);
    std::vector<char> buffer;
    bool inKernel = true;
    std::uint64_t done = 0;
    for (;;) {
        if (int stop = WaitUnlessCancelled(options))
            return stop;
        ssize_t moved = 0;
        if (inKernel) {
            moved = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (moved < 0) {
                if (errno == EINTR)
                    continue;
                if (!KernelCopyUnavailable(errno))
                    return errno;
                inKernel = false;
                continue;
            }
            // Files of pseudo file systems claim to be empty to the kernel's
            // copy; read them to be sure the end is real.
            if (moved == 0 && done == 0) {
                inKernel = false;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(chunk);
            moved = ::read(in, buffer.data(), buffer.size());
            if (moved < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (int error = WriteAll(out, buffer.data(), static_cast<std::size_t>(moved)))
                return error;
        }
        if (moved == 0)
            return 0;
        done += static_cast<std::uint64_t>(moved);
        if (options.progress && !options.progress(done, std::max(done, total)))
            return kCancelled;
    }
}

// Reserves the whole size first so a full volume shows at once, not after
// most of the data was written. Volumes without the call just write.
int Reserve(int fd, std::uint64_t size)
{
    if (size == 0)
        return 0;
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return 0;
    const int error = errno;
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return error;
    return 0;
}

// Puts the finished copy under its real name. Without replace, an item that
// appeared meanwhile under that name wins and stays.
int Publish(int folderFd, const std::string& temporary, const std::string& destination, bool replace)
{
    if (replace)
        return ::renameat(folderFd, temporary.c_str(), folderFd, destination.c_str()) == 0 ? 0 : errno;
    if (::renameat2(folderFd, temporary.c_str(), folderFd, destination.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The volume cannot refuse a replacement by itself (some network file
    // systems); a check just before is the best left.
    struct stat existing {};
    if (::fstatat(folderFd, destination.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(folderFd, temporary.c_str(), folderFd, destination.c_str()) == 0 ? 0 : errno;
}

std::int64_t TimeNs(const struct stat& st)
{
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

// The destination's name looked at once: whether something is there (its
// stat in `now`), or 0 with nothing there, or the errno of the look.
struct Destination {
    bool exists = false;
    int error = 0;
    struct stat now {};
};

Destination LookAt(int folderFd, const std::string& name)
{
    Destination found;
    if (::fstatat(folderFd, name.c_str(), &found.now, AT_SYMLINK_NOFOLLOW) == 0)
        found.exists = true;
    else
        found.error = errno == ENOENT ? 0 : errno;
    return found;
}

// Whether the destination is still what the caller saw.
bool AsExpected(const Destination& found, const ExpectedDestination& expected)
{
    if (!found.exists)
        return !expected.exists && found.error == 0;
    return expected.exists && S_ISREG(found.now.st_mode) &&
           static_cast<std::uint64_t>(found.now.st_size) == expected.size && TimeNs(found.now) == expected.timeNs;
}

// The replaced file's owner, attributes and mode onto the copy. Its owner
// only where the process may give it (a user cannot give a file away).
int KeepReplacedMetadata(int folderFd, const std::string& name, const struct stat& replaced, int out)
{
    if (!KeepsUnixPermissions(out))
        return 0;
    if ((replaced.st_uid != ::geteuid() || replaced.st_gid != ::getegid()) &&
        ::fchown(out, replaced.st_uid, replaced.st_gid) != 0 && errno != EPERM)
        return errno;
    FileDescriptor old(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (old.IsOpen()) {
        if (int error = CopyExtendedAttributes(old.Get(), out))
            return error;
    }
    // New content does not inherit set-id bits, as a write to the file
    // itself would clear them.
    return ::fchmod(out, replaced.st_mode & 01777) == 0 ? 0 : errno;
}

// Everything between the open source and the finished temporary file.
// `replaced` is the file the copy will replace when it is to keep what that
// was.
int WriteCopy(int in, const struct stat& source, int out, const CopyOptions& options, int folderFd,
              const std::string& name, const struct stat* replaced)
{
    const auto size = static_cast<std::uint64_t>(source.st_size);
    if (int error = Reserve(out, size))
        return error;
    if (int error = CopyData(in, out, size, options))
        return error;
    if (int error = WaitUnlessCancelled(options))
        return error;
    // Owner first: changing it clears capabilities and set-id bits that the
    // attributes and mode below put back.
    if (int error = ApplyOwnerAndMode(out, source, false, options.keepOwner))
        return error;
    if (options.keepAttributes) {
        if (int error = CopyExtendedAttributes(in, out))
            return error;
    }
    if (int error = ApplyOwnerAndMode(out, source, options.keepMode, false))
        return error;
    if (replaced) {
        if (int error = KeepReplacedMetadata(folderFd, name, *replaced, out))
            return error;
    }
    if (options.keepTimes) {
        if (int error = ApplyTimes(out, source))
            return error;
    }
    if (options.durable && ::fsync(out) != 0)
        return errno;
    return 0;
}

// Only a regular file's data is copied.
int CheckSource(int in, struct stat& sourceInfo)
{
    if (::fstat(in, &sourceInfo) != 0)
        return errno;
    if (S_ISDIR(sourceInfo.st_mode))
        return EISDIR;
    return S_ISREG(sourceInfo.st_mode) ? 0 : EINVAL;
}

// Whether the destination's folder and name may take a copy at all.
int CheckDestination(int folderFd, const std::string& name, const CopyOptions& options, struct stat& existing,
                     bool& replacing)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return EINVAL;
    const Destination found = LookAt(folderFd, name);
    if (options.expected && !AsExpected(found, *options.expected))
        return kChanged;
    replacing = found.exists;
    existing = found.now;
    if (replacing) {
        if (!options.replace)
            return EEXIST;
        if (S_ISDIR(existing.st_mode))
            return EISDIR;
    }
    return 0;
}

}  // namespace

// The copy of the open, checked source into the open folder, up to the
// finished temporary.
int WritePendingCopy(int in, const struct stat& sourceInfo, int folderFd, const std::string& name,
                     const CopyOptions& options, PendingCopy& copy)
{
    copy.Discard();
    struct stat existing {};
    bool replacing = false;
    if (int error = CheckDestination(folderFd, name, options, existing, replacing))
        return error;
    const bool keepReplaced = replacing && !options.keepMode && S_ISREG(existing.st_mode);

    FileDescriptor folder(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!folder.IsOpen())
        return errno;
    std::string temporary;
    FileDescriptor out;
    // A private mode while the data goes in when the real one is set at the
    // end; a new file is created as any other, with the folder's defaults.
    const mode_t createMode = options.keepMode || keepReplaced ? 0600 : 0666;
    for (int attempt = 0; attempt < 16 && !out.IsOpen(); ++attempt) {
        temporary = TemporaryNameFor(name);
        out = FileDescriptor(::openat(folderFd, temporary.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, createMode));
        if (!out.IsOpen() && errno != EEXIST)
            return errno;
    }
    if (!out.IsOpen())
        return EEXIST;
    // The mark lives on the open file, which this second descriptor keeps
    // open past the close below, until the name is no longer temporary.
    MarkCopyInProgress(out.Get());
    FileDescriptor lock(::fcntl(out.Get(), F_DUPFD_CLOEXEC, 0));

    int error = WriteCopy(in, sourceInfo, out.Get(), options, folderFd, name, keepReplaced ? &existing : nullptr);
    if (int closeError = out.Close(); error == 0)
        error = closeError;
    if (error != 0) {
        IgnoreResult(::unlinkat(folderFd, temporary.c_str(), 0), "a temporary left behind is cleaned up later");
        return error;
    }
    copy.m_folder = std::move(folder);
    copy.m_lock = std::move(lock);
    copy.m_temporary = std::move(temporary);
    copy.m_name = name;
    copy.m_size = static_cast<std::uint64_t>(sourceInfo.st_size);
    copy.m_accessed = sourceInfo.st_atim;
    copy.m_modified = sourceInfo.st_mtim;
    copy.m_keepTimes = options.keepTimes;
    copy.m_durable = options.durable;
    copy.m_replace = options.replace;
    copy.m_hasExpected = options.expected != nullptr;
    if (options.expected)
        copy.m_expected = *options.expected;
    copy.m_stillWanted = options.stillWanted;
    copy.m_setAside = options.setAside;
    return 0;
}

PendingCopy& PendingCopy::operator=(PendingCopy&& other) noexcept
{
    if (this != &other) {
        Discard();
        m_folder = std::move(other.m_folder);
        m_lock = std::move(other.m_lock);
        m_temporary = std::move(other.m_temporary);
        m_name = std::move(other.m_name);
        m_size = other.m_size;
        m_accessed = other.m_accessed;
        m_modified = other.m_modified;
        m_keepTimes = other.m_keepTimes;
        m_durable = other.m_durable;
        m_replace = other.m_replace;
        m_hasExpected = other.m_hasExpected;
        m_expected = other.m_expected;
        m_stillWanted = std::move(other.m_stillWanted);
        m_setAside = std::move(other.m_setAside);
    }
    return *this;
}

void PendingCopy::Discard()
{
    if (m_folder.IsOpen() && !m_temporary.empty())
        IgnoreResult(::unlinkat(m_folder.Get(), m_temporary.c_str(), 0), "a temporary left behind is cleaned up later");
    m_lock.Reset();
    m_folder.Reset();
    m_temporary.clear();
}

// CommitCopy's work, answering an errno or one of the internal markers;
// setAside tells why a replaced file could not be moved away.
int CommitPendingCopy(PendingCopy& copy, Status& setAside)
{
    if (!copy.IsSet())
        return EINVAL;
    const int folderFd = copy.m_folder.Get();
    const std::string& name = copy.m_name;
    const ExpectedDestination* expected = copy.m_hasExpected ? &copy.m_expected : nullptr;
    int error = 0;
    Destination found;
    if (copy.m_stillWanted && !copy.m_stillWanted())
        error = ENOENT;
    else if (expected || copy.m_setAside)
        found = LookAt(folderFd, name);
    if (error == 0 && expected && !AsExpected(found, *expected))
        error = kChanged;
    if (error == 0 && copy.m_setAside && found.exists) {
        setAside = copy.m_setAside(folderFd, name);
        if (!setAside.ok)
            error = kNotSetAside;
    }
    if (error == 0)
        error = Publish(folderFd, copy.m_temporary, name, copy.m_replace && !(expected && !expected->exists));
    if (error == EEXIST && expected)
        error = kChanged;
    if (error != 0) {
        copy.Discard();
        return error;
    }
    copy.m_temporary.clear();  // the name is the destination's now: nothing to remove
    // Some FUSE drivers (fusefat) stamp the present time on a renamed file;
    // a copy that looked newer than its source would travel back.
    struct stat published {};
    if (copy.m_keepTimes && ::fstatat(folderFd, name.c_str(), &published, AT_SYMLINK_NOFOLLOW) == 0 &&
        std::llabs(published.st_mtim.tv_sec - copy.m_modified.tv_sec) > 2) {
        const struct timespec times[2] = {copy.m_accessed, copy.m_modified};
        if (::utimensat(folderFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            error = errno;
    }
    if (error == 0 && copy.m_durable)
        IgnoreResult(::fsync(folderFd), "best effort: not every volume can flush a folder");
    copy.Discard();
    return error;
}

Status CommitCopy(PendingCopy& copy)
{
    const std::string name = copy.Name();
    Status setAside;
    const int error = CommitPendingCopy(copy, setAside);
    return StatusFor(error, name, setAside);
}

namespace {

// The copy of the open, checked source into the open folder.
int CopyInto(int in, const struct stat& sourceInfo, int folderFd, const std::string& name, const CopyOptions& options,
             Status& setAside)
{
    PendingCopy copy;
    if (int error = WritePendingCopy(in, sourceInfo, folderFd, name, options, copy))
        return error;
    return CommitPendingCopy(copy, setAside);
}

}  // namespace

Status CopyFileAtomic(const std::filesystem::path& source, const std::filesystem::path& destination,
                      const CopyOptions& options)
{
    if (int stop = WaitUnlessCancelled(options))
        return StatusFor(stop, destination);
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat sourceInfo {};
    if (!in.IsOpen())
        return StatusFor(errno, source);
    if (int error = CheckSource(in.Get(), sourceInfo))
        return StatusFor(error, source);
    const std::filesystem::path folder =
        destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.IsOpen())
        return StatusFor(errno, folder);
    Status setAside;
    const int error =
        CopyInto(in.Get(), sourceInfo, folderFd.Get(), destination.filename().string(), options, setAside);
    return StatusFor(error, destination, setAside);
}

Status CopyFileAt(int sourceFolderFd, const std::string& sourceName, int destinationFolderFd,
                  const std::string& destinationName, const CopyOptions& options)
{
    PendingCopy copy;
    if (Status written = WriteCopyAt(sourceFolderFd, sourceName, destinationFolderFd, destinationName, options, copy);
        !written)
        return written;
    return CommitCopy(copy);
}

Status WriteCopyAt(int sourceFolderFd, const std::string& sourceName, int destinationFolderFd,
                   const std::string& destinationName, const CopyOptions& options, PendingCopy& copy)
{
    copy.Discard();
    if (int stop = WaitUnlessCancelled(options))
        return StatusFor(stop, destinationName);
    FileDescriptor in(
        ::openat(sourceFolderFd, sourceName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
    struct stat sourceInfo {};
    if (!in.IsOpen())
        return StatusFor(errno, sourceName);
    if (int error = CheckSource(in.Get(), sourceInfo))
        return StatusFor(error, sourceName);
    return StatusFor(WritePendingCopy(in.Get(), sourceInfo, destinationFolderFd, destinationName, options, copy),
                     destinationName);
}

}  // namespace halvex
