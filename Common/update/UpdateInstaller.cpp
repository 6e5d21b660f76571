#include "update/UpdateInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <system_error>
#include <vector>

#include "copy/FileCopier.h"
#include "copy/LeftoverCopies.h"

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
bool PlaceFile(const fs::path& source, const fs::path& target)
{
    if (::rename(source.c_str(), target.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    CopyOptions options;
    options.keepTimes = true;
    options.keepMode = true;
    return CopyFileAtomic(source, target, options).ok();
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
        if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr,
                                    0) != UNZ_OK)
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

bool InstallUnpackedUpdate(const fs::path& unpackFolder, const fs::path& targetFolder,
                           const std::map<std::string, mode_t>& modes, const InstallCallbacks& callbacks)
{
    std::error_code error;
    fs::recursive_directory_iterator it(unpackFolder, error);
    if (error)
        return false;
    // An updater killed halfway left temporary copies beside the files it
    // was placing; they go before anything new is placed beside them.
    std::set<fs::path> cleanedFolders;
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
        if (!targetExists) {
            CreateFolder(target.parent_path());
        } else if (!FileNeedsUpdate(source, target)) {
            continue;
        }
        mode_t mode = sourceInfo.st_mode & 0777;
        if (const auto known = modes.find(relative.generic_string()); known != modes.end())
            mode = known->second;
        else if (targetExists && S_ISREG(targetInfo.st_mode))
            mode = targetInfo.st_mode & 0777;
        ::chmod(source.c_str(), mode);
        if (cleanedFolders.insert(target.parent_path()).second)
            RemoveLeftoverCopies(target.parent_path());
        if (!PlaceFile(source, target)) {
            if (callbacks.log)
                callbacks.log("Update Failed: " + target.string());
            return false;
        }
        SetModificationTime(target, sourceInfo.st_mtim);
        if (callbacks.log)
            callbacks.log("Updated: " + target.string());
    }
    return true;
}

}  // namespace halvex
