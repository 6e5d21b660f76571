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
#include "copy/LeftoverCopies.h"
#include "update/UpdateJournal.h"
#include "update/UpdateMessageKeys.h"
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

bool SetModificationTime(const fs::path& file, const struct timespec& modified)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
    return ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// Moves or copies one file into place; the old target stays whole on failure.
Status PlaceFile(const fs::path& source, const fs::path& target)
{
    if (::rename(source.c_str(), target.c_str()) == 0)
        return Status::Ok();
    if (errno != EXDEV)
        return Status::FailErrno(kUpdateFailKey, target, errno);
    CopyOptions options;
    options.keepTimes = true;
    options.keepMode = true;
    const Status copied = CopyFileAtomic(source, target, options);
    if (copied.ok)
        return Status::Ok();
    return Status::FailErrno(kUpdateFailKey, target, copied.systemError != 0 ? copied.systemError : EIO);
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
    if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode))
        return true;
    return a.st_size != b.st_size || a.st_mtim.tv_sec != b.st_mtim.tv_sec || a.st_mtim.tv_nsec != b.st_mtim.tv_nsec;
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

// Every file the package changes, in a fixed order; a failure, with nothing
// touched, when one of them could not be placed.
Result<std::vector<PlannedFile>> PlanInstall(const fs::path& unpackFolder, const fs::path& targetFolder,
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
        struct stat targetInfo {};
        const bool targetExists = ::lstat(target.c_str(), &targetInfo) == 0;
        // A folder or link where the package has a file cannot be swapped
        // for it without losing what it holds.
        if (!UsableJournalPath(relative.generic_string()) || (targetExists && !S_ISREG(targetInfo.st_mode)))
            return Planned::Fail(kUpdateFailKey, target.string());
        if (targetExists && !FileNeedsUpdate(source, target))
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
Status Stage(const PlannedFile& file, const fs::path& target)
{
    const fs::path staged = StagedPathFor(target);
    Status placed = CreateFolder(staged.parent_path());
    if (placed) {
        ::chmod(file.source.c_str(), file.mode);
        placed = PlaceFile(file.source, staged);
    }
    if (!placed)
        return Status::FailErrno(kUpdateFailKey, target, placed.systemError != 0 ? placed.systemError : EIO);
    IgnoreResult(::chmod(staged.c_str(), file.mode), "FAT keeps no permission bits: no reason to keep the old version");
    IgnoreResult(SetModificationTime(staged, file.modified),
                 "FAT keeps times in 2 s steps: no reason to keep the old version");
    return Status::Ok();
}

}  // namespace

Status InstallUnpackedUpdate(const fs::path& unpackFolder, const fs::path& targetFolder,
                             const std::map<std::string, mode_t>& modes, const InstallCallbacks& callbacks)
{
    // An install killed earlier is undone before anything else happens here.
    if (Status recovered = RecoverInterruptedUpdate(targetFolder); !recovered)
        return recovered;
    const Result<std::vector<PlannedFile>> planned = PlanInstall(unpackFolder, targetFolder, modes, callbacks);
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
    std::set<fs::path> cleanedFolders;
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        if (cleanedFolders.insert(target.parent_path()).second)
            RemoveLeftoverCopies(target.parent_path());
        if (stopped())
            return Status::Cancelled();
        if (Status staged = Stage(file, target); !staged)
            return settle(std::move(staged));
    }
    if (stopped())
        return Status::Cancelled();
    journal.state = JournalState::Replacing;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return settle(std::move(written));

    // The old files are set aside, not removed, until every new one is in place.
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        if (file.existed) {
            if (stopped())
                return Status::Cancelled();
            if (::rename(target.c_str(), ReplacedPathFor(target).c_str()) != 0)
                return settle(Status::FailErrno(kUpdateFailKey, target, errno));
        }
        if (stopped())
            return Status::Cancelled();
        if (::rename(StagedPathFor(target).c_str(), target.c_str()) != 0)
            return settle(Status::FailErrno(kUpdateFailKey, target, errno));
        if (callbacks.log)
            callbacks.log("Updated: " + target.string());
    }
    if (stopped())
        return Status::Cancelled();
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
