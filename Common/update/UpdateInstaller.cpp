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

// Moves or copies one file into place; the old target stays whole on
// failure. Answers 0 or the errno of the failure.
int PlaceFile(const fs::path& source, const fs::path& target)
{
    if (::rename(source.c_str(), target.c_str()) == 0)
        return 0;
    if (errno != EXDEV)
        return errno;
    CopyOptions options;
    options.keepTimes = true;
    options.keepMode = true;
    const Status copied = CopyFileAtomic(source, target, options);
    return copied.ok ? 0 : (copied.systemError != 0 ? copied.systemError : EIO);
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

bool CreateFolder(const fs::path& path)
{
    fs::path walked;
    for (const fs::path& part : path) {
        walked /= part;
        std::error_code error;
        if (fs::is_directory(walked, error))
            continue;
        if (!fs::create_directory(walked, error) && !fs::is_directory(walked, error))
            return false;
    }
    return true;
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

// Every file the package changes, in a fixed order; false, with nothing
// touched, when one of them could not be placed.
bool PlanInstall(const fs::path& unpackFolder, const fs::path& targetFolder, const std::map<std::string, mode_t>& modes,
                 const InstallCallbacks& callbacks, std::vector<PlannedFile>& plan)
{
    std::error_code error;
    fs::recursive_directory_iterator it(unpackFolder, error);
    if (error)
        return false;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error)
            return false;
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
        if (!UsableJournalPath(relative.generic_string()) || (targetExists && !S_ISREG(targetInfo.st_mode))) {
            if (callbacks.log)
                callbacks.log("Update Failed: " + target.string());
            return false;
        }
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
    return true;
}

// The new file beside its target, whole and with its mode and time.
// Answers 0 or the errno of the failure.
int Stage(const PlannedFile& file, const fs::path& staged)
{
    if (!CreateFolder(staged.parent_path()))
        return errno != 0 ? errno : EIO;
    ::chmod(file.source.c_str(), file.mode);
    if (const int error = PlaceFile(file.source, staged); error != 0)
        return error;
    IgnoreResult(::chmod(staged.c_str(), file.mode), "FAT keeps no permission bits: no reason to keep the old version");
    IgnoreResult(SetModificationTime(staged, file.modified),
                 "FAT keeps times in 2 s steps: no reason to keep the old version");
    return 0;
}

}  // namespace

bool InstallUnpackedUpdate(const fs::path& unpackFolder, const fs::path& targetFolder,
                           const std::map<std::string, mode_t>& modes, const InstallCallbacks& callbacks)
{
    const auto fail = [&](const std::string& line) {
        if (callbacks.log)
            callbacks.log(line);
        return false;
    };
    // An install killed earlier is undone before anything else happens here.
    if (Status recovered = RecoverInterruptedUpdate(targetFolder); !recovered)
        return fail("Update Failed: " + recovered.detail);
    std::vector<PlannedFile> plan;
    if (!PlanInstall(unpackFolder, targetFolder, modes, callbacks, plan))
        return false;
    if (plan.empty())
        return true;
    const auto stopped = [&] { return callbacks.stopBeforeChange && callbacks.stopBeforeChange(); };

    UpdateJournal journal;
    journal.pid = ::getpid();
    for (const PlannedFile& file : plan)
        journal.entries.push_back({file.relative, file.existed});
    const auto settle = [&](const std::string& line) {
        if (Status undone = SettleUpdate(targetFolder, journal); !undone)
            fail("Update Failed: " + undone.detail);
        return fail(line);
    };
    if (stopped())
        return false;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return fail("Update Failed: " + written.detail);

    // Every new file is written beside its target first: a full drive or an
    // unreadable package entry is found before any old file is touched.
    std::set<fs::path> cleanedFolders;
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        if (cleanedFolders.insert(target.parent_path()).second)
            RemoveLeftoverCopies(target.parent_path());
        if (stopped())
            return false;
        if (const int error = Stage(file, StagedPathFor(target)); error != 0)
            return settle("Update Failed: " + target.string() + ": " + std::strerror(error));
    }
    if (stopped())
        return false;
    journal.state = JournalState::Replacing;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return settle("Update Failed: " + written.detail);

    // The old files are set aside, not removed, until every new one is in place.
    for (const PlannedFile& file : plan) {
        const fs::path target = targetFolder / file.relative;
        if (file.existed) {
            if (stopped())
                return false;
            if (::rename(target.c_str(), ReplacedPathFor(target).c_str()) != 0)
                return settle("Update Failed: " + target.string() + ": " + std::strerror(errno));
        }
        if (stopped())
            return false;
        if (::rename(StagedPathFor(target).c_str(), target.c_str()) != 0)
            return settle("Update Failed: " + target.string() + ": " + std::strerror(errno));
        if (callbacks.log)
            callbacks.log("Updated: " + target.string());
    }
    if (stopped())
        return false;
    journal.state = JournalState::Done;
    if (Status written = WriteUpdateJournal(targetFolder, journal); !written)
        return settle("Update Failed: " + written.detail);
    if (stopped())
        return false;
    // From here on the update has happened; a failure to tidy up is finished
    // by the next start.
    if (Status settled = SettleUpdate(targetFolder, journal); !settled && callbacks.log)
        callbacks.log("Update left behind: " + settled.detail);
    return true;
}

}  // namespace halvex
