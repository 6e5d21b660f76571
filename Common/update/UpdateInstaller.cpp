#include "update/UpdateInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "copy/FileCopier.h"
#include "copy/FileDescriptor.h"
#include "copy/LeftoverCopies.h"
#include "update/UpdateJournal.h"
#include "update/UpdateMessageKeys.h"
#include "util/DescriptorPath.h"
#include "util/FileSystemFlush.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

bool HiddenPart(const fs::path& relative)
{
    for (const fs::path& part : relative)
        if (!part.empty() && part.native().front() == '.')
            return true;
    return false;
}

bool Differs(const struct stat& source, const struct stat& target)
{
    if (!S_ISREG(source.st_mode) || !S_ISREG(target.st_mode))
        return true;
    return source.st_size != target.st_size || source.st_mtim.tv_sec != target.st_mtim.tv_sec ||
           source.st_mtim.tv_nsec != target.st_mtim.tv_nsec;
}

// Moves or copies one file of the package to its staged name in the drive's
// open folder; nothing is written through a link there.
Status PlaceFile(const fs::path& source, int folderFd, const std::string& name, const fs::path& shown)
{
    if (::renameat(AT_FDCWD, source.c_str(), folderFd, name.c_str()) == 0)
        return Status::Ok();
    if (errno != EXDEV)
        return Status::FailErrno(kUpdateFailKey, shown, errno);
    const FileDescriptor sourceFolder(::open(source.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!sourceFolder.IsOpen())
        return Status::FailErrno(kUpdateFailKey, source, errno);
    CopyOptions options;
    options.keepTimes = true;
    options.keepMode = true;
    // A staged name is no real one: the install flushes the drive once for
    // every staged file before it swaps any (see InstallUnpackedUpdate).
    options.durable = false;
    const Status copied = CopyFileAt(sourceFolder.Get(), source.filename().string(), folderFd, name, options);
    if (copied.ok)
        return Status::Ok();
    return Status::FailErrno(kUpdateFailKey, shown, copied.systemError != 0 ? copied.systemError : EIO);
}

// The one rename of the swap, inside one open folder.
Status RenameIn(int folderFd, const std::string& from, const std::string& to, const fs::path& shown)
{
    if (::renameat(folderFd, from.c_str(), folderFd, to.c_str()) == 0)
        return Status::Ok();
    return Status::FailErrno(kUpdateFailKey, shown, errno);
}

// One flush of the drive: "update_fail" naming the folder, with the reason.
Status FlushInstall(int topFd, const fs::path& targetFolder, const FileSystemFlusher& flush)
{
    const int error = flush ? flush(topFd) : FlushDriveAt(topFd);
    return error == 0 ? Status::Ok() : Status::FailErrno(kUpdateFailKey, targetFolder, error);
}

}  // namespace

std::map<std::string, mode_t> ReadArchiveModes(const fs::path& archive)
{
    std::map<std::string, mode_t> modes;
    unzFile zip = unzOpen64(archive.c_str());
    if (!zip)
        return modes;
    for (int result = unzGoToFirstFile(zip); result == UNZ_OK; result = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        std::vector<char> name(4096);
        if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            break;
        const bool madeOnUnix = (info.version >> 8) == 3;
        const mode_t mode = static_cast<mode_t>(info.external_fa >> 16) & 0777;
        if (madeOnUnix && mode != 0)
            modes[std::string(name.data())] = mode;
    }
    unzClose(zip);
    return modes;
}

bool FileNeedsUpdate(const fs::path& source, const fs::path& target)
{
    struct stat a {};
    struct stat b {};
    if (::lstat(source.c_str(), &a) != 0 || ::lstat(target.c_str(), &b) != 0)
        return true;
    return Differs(a, b);
}

Status CreateFolder(const fs::path& path)
{
    fs::path walked;
    for (const fs::path& part : path) {
        walked /= part;
        std::error_code error;
        if (fs::is_directory(walked, error))
            continue;
        if (fs::create_directory(walked, error))
            continue;
        const int failure = error ? error.value() : ENOTDIR;
        if (!fs::is_directory(walked, error))
            return Status::FailErrno(kUpdateFailKey, walked, failure);
    }
    return Status::Ok();
}

std::size_t CountEntries(const fs::path& folder)
{
    std::size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return count;
}

std::string UpdatePercentText(long long value, long long minimum, long long maximum)
{
    long long difference = value - minimum;
    if (difference < 0)
        difference = 0;
    long long range = maximum - minimum;
    if (range <= 0)
        range = 1;
    long long percent = difference * 100 / range;
    if (percent > 100)
        percent %= 100;
    return std::to_string(percent) + "%";
}

namespace {

struct PlannedFile {
    fs::path source;
    std::string relative;
    bool existed = false;
    mode_t mode = 0644;
    struct timespec modified {};
};

// The folder of a target on the drive, reached from the drive's top
// without following a link; "update_fail" naming the link when one is on the way.
Result<EntryBelow> TargetAt(int topFd, const fs::path& targetFolder, const std::string& relative,
                            MissingFolders missing)
{
    return OpenEntryBelow(topFd, relative, missing, targetFolder, kUpdateFailKey);
}

// Every file the package changes, in a fixed order; a failure, with nothing
// touched, when one of them could not be placed.
Result<std::vector<PlannedFile>> PlanInstall(const fs::path& unpackFolder, int topFd, const fs::path& targetFolder,
                                             const std::map<std::string, mode_t>& modes,
                                             const InstallCallbacks& callbacks)
{
    using Planned = Result<std::vector<PlannedFile>>;
    std::vector<PlannedFile> plan;
    std::error_code error;
    fs::recursive_directory_iterator it(unpackFolder, error);
    if (error)
        return Planned::FailErrno(kUpdateFailKey, unpackFolder, error.value());
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error)
            return Planned::FailErrno(kUpdateFailKey, unpackFolder, error.value());
        if (callbacks.step)
            callbacks.step();
        const fs::path source = it->path();
        const fs::path relative = source.lexically_relative(unpackFolder);
        struct stat sourceInfo {};
        // Folders, links and anything else but a plain file are not placed.
        if (::lstat(source.c_str(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode) || HiddenPart(relative))
            continue;
        const fs::path target = targetFolder / relative;
        if (!UsableJournalPath(relative.generic_string()))
            return Planned::Fail(kUpdateFailKey, target.string());
        struct stat targetInfo {};
        bool targetExists = false;
        if (const Result<EntryBelow> at =
                TargetAt(topFd, targetFolder, relative.generic_string(), MissingFolders::Fail)) {
            targetExists =
                ::fstatat(at.value().folder.Get(), at.value().name.c_str(), &targetInfo, AT_SYMLINK_NOFOLLOW) == 0;
        } else if (at.systemError() != ENOENT) {
            // A link or a file on the way: the package's file has no place on this drive.
            return Planned::From(at.status());
        }
        // A folder or link where the package has a file cannot be swapped
        // for it without losing what it holds.
        if (targetExists && !S_ISREG(targetInfo.st_mode))
            return Planned::Fail(kUpdateFailKey, target.string());
        if (targetExists && !Differs(sourceInfo, targetInfo))
            continue;
        PlannedFile file{source, relative.generic_string(), targetExists,
                         static_cast<mode_t>(sourceInfo.st_mode & 0777), sourceInfo.st_mtim};
        if (const auto known = modes.find(file.relative); known != modes.end())
            file.mode = known->second;
        else if (targetExists)
            file.mode = targetInfo.st_mode & 0777;
        plan.push_back(std::move(file));
    }
    std::sort(plan.begin(), plan.end(),
              [](const PlannedFile& a, const PlannedFile& b) { return a.relative < b.relative; });
    return Planned::Ok(std::move(plan));
}

// The new file beside its target, whole and with its mode and time. A
// failure names the target, whose name the user knows.
Status Stage(const PlannedFile& file, const EntryBelow& at, const fs::path& target)
{
    const std::string staged = std::string(kStagedPrefix) + at.name;
    IgnoreResult(::chmod(file.source.c_str(), file.mode), "the mode is set again once the file is staged");
    if (Status placed = PlaceFile(file.source, at.folder.Get(), staged, target); !placed)
        return placed;
    const FileDescriptor placed(::openat(at.folder.Get(), staged.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!placed.IsOpen())
        return Status::FailErrno(kUpdateFailKey, target, errno);
    IgnoreResult(::fchmod(placed.Get(), file.mode), "FAT keeps no permission bits: no reason to keep the old version");
    const struct timespec times[2] = {{0, UTIME_OMIT}, file.modified};
    IgnoreResult(::futimens(placed.Get(), times), "FAT keeps times in 2 s steps: no reason to keep the old version");
    return Status::Ok();
}

}  // namespace

Status InstallUnpackedUpdate(const fs::path& unpackFolder, const fs::path& targetFolder,
                             const std::map<std::string, mode_t>& modes, const InstallCallbacks& callbacks)
{
    // An install killed earlier is undone before anything else happens here.
    if (Status recovered = RecoverInterruptedUpdate(targetFolder); !recovered)
        return recovered;
    // Every path below is reached from the drive's top, one name at a time,
    // never through a link the drive holds.
    const FileDescriptor top(::open(targetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top.IsOpen())
        return Status::FailErrno(kUpdateFailKey, targetFolder, errno);
    const Result<std::vector<PlannedFile>> planned =
        PlanInstall(unpackFolder, top.Get(), targetFolder, modes, callbacks);
    if (!planned)
        return planned.status();
    const std::vector<PlannedFile>& plan = planned.value();
    if (plan.empty())
        return Status::Ok();
    const auto stopped = [&] { return callbacks.stopBeforeChange && callbacks.stopBeforeChange(); };

    UpdateJournal journal;
    journal.pid = ::getpid();
    for (const PlannedFile& file : plan)
        journal.entries.push_back({file.relative, file.existed});
    // Puts the old files back; the failure that made it necessary is the one reported.
    const auto settle = [&](Status failure) {
        if (Status undone = SettleUpdate(targetFolder, journal); !undone && callbacks.log)
            callbacks.log("Update Failed: " + undone.detail);
        return failure;
    };
    if (stopped())
        return Status::Cancelled();
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return written;

    // Every new file is written beside its target first: a full drive or an
    // unreadable package entry is found before any old file is touched.
    std::set<std::string> cleanedFolders;
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        if (stopped())
            return Status::Cancelled();
        Result<EntryBelow> at = TargetAt(top.Get(), targetFolder, file.relative, MissingFolders::Create);
        if (!at)
            return settle(at.status());
        if (cleanedFolders.insert(fs::path(file.relative).parent_path().string()).second)
            RemoveLeftoverCopies(at.value().folder.Get());
        if (Status staged = Stage(file, at.value(), target); !staged)
            return settle(std::move(staged));
    }
    if (stopped())
        return Status::Cancelled();
    // Every new file whole on the drive before a target is swapped for it:
    // a drive pulled among the swaps holds, under each name, the old file or
    // the whole new one.
    if (Status flushed = FlushInstall(top.Get(), targetFolder, callbacks.flush); !flushed)
        return settle(std::move(flushed));
    journal.state = JournalState::Replacing;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return settle(std::move(written));

    // The old files are set aside, not removed, until every new one is in place.
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        const Result<EntryBelow> at = TargetAt(top.Get(), targetFolder, file.relative, MissingFolders::Fail);
        if (!at)
            return settle(at.status());
        const int folder = at.value().folder.Get();
        const std::string& name = at.value().name;
        if (file.existed) {
            if (stopped())
                return Status::Cancelled();
            if (Status aside = RenameIn(folder, name, std::string(kReplacedPrefix) + name, target); !aside)
                return settle(std::move(aside));
        }
        if (stopped())
            return Status::Cancelled();
        if (Status swapped = RenameIn(folder, std::string(kStagedPrefix) + name, name, target); !swapped)
            return settle(std::move(swapped));
        if (callbacks.log)
            callbacks.log("Updated: " + target.string());
    }
    if (stopped())
        return Status::Cancelled();
    // Once the journal says done the old files go: the swaps must be on the
    // drive first.
    if (Status flushed = FlushInstall(top.Get(), targetFolder, callbacks.flush); !flushed)
        return settle(std::move(flushed));
    journal.state = JournalState::Done;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return settle(std::move(written));
    if (stopped())
        return Status::Cancelled();
    // From here on the update has happened; a failure to tidy up is finished
    // by the next start.
    if (Status settled = SettleUpdate(targetFolder, journal); !settled && callbacks.log)
        callbacks.log("Update left behind: " + settled.detail);
    return Status::Ok();
}

}  // namespace halvex
