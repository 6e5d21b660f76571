#include "system/KMSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "system/DesktopLaunch.h"
#include "system/LoginItems.h"
#include "system/Processes.h"
#include "zip/ZipExtraction.h"
#include "util/ComputerIdentity.h"
#include "util/FileDateText.h"
#include "util/FolderSize.h"
#include "util/IsAdministrator.h"
#include "util/ScrambleIdentity.h"
#include "util/SpecialFolders.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;

bool KMSystem::IsUserAdmin()
{
    return halvex::IsAdministrator();
}

fs::path KMSystem::GetDesktopFolder()
{
    return halvex::DesktopFolder();
}

fs::path KMSystem::GetDocumentsFolder()
{
    return halvex::DocumentsFolder();
}

fs::path KMSystem::GetApplicationsFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return data;
    return halvex::UserBaseFolder() / ".local" / "share";
}

std::string KMSystem::GetMacAddress()
{
    return halvex::ComputerIdentity();
}

halvex::Result<std::uint64_t> KMSystem::GetFileSize(const fs::path& path)
{
    using Size = halvex::Result<std::uint64_t>;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Size::FailErrno(kSizeErrorKey, path, errno);
    if (S_ISDIR(info.st_mode))
        return Size::Ok(halvex::FolderSize(path));
    return Size::Ok(S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0);
}

std::string KMSystem::FileSizeText(std::uint64_t bytes)
{
    static constexpr std::array<const char*, 5> kUnits = {"bytes", "KB", "MB", "GB", "TB"};
    if (bytes == 0)
        return "0 byte";
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < kUnits.size()) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + kUnits[unit];
}

std::uint64_t KMSystem::GetFolderSize(const fs::path& path)
{
    return halvex::FolderSize(path);
}

std::string KMSystem::GetFileModifiedTime(const fs::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    return halvex::FormatFileDate(info.st_mtime, halvex::UserShortDateFormat(), halvex::UserTimeFormatWithoutSeconds());
}

halvex::Status KMSystem::RevealFolder(const fs::path& path)
{
    return halvex::ShowInFileManager(path, false);
}

halvex::Status KMSystem::RevealFile(const fs::path& path)
{
    return halvex::ShowInFileManager(path, true);
}

halvex::Status KMSystem::GoToUrl(std::string_view address)
{
    return halvex::OpenAddress(address);
}

halvex::Status KMSystem::AddToLoginItems(const fs::path& path, bool hidden)
{
    return halvex::LoginItems(halvex::LoginItems::DefaultFolder()).add(path, hidden);
}

halvex::Status KMSystem::RemoveLoginItem(const fs::path& path)
{
    return halvex::LoginItems(halvex::LoginItems::DefaultFolder()).remove(path);
}

bool KMSystem::LoginItemExists(const fs::path& path)
{
    return halvex::LoginItems(halvex::LoginItems::DefaultFolder()).exists(path);
}

halvex::Status KMSystem::CreateFolder(const fs::path& path)
{
    std::error_code error;
    fs::create_directories(path, error);
    if (std::error_code kind; fs::is_directory(path, kind))
        return halvex::Status::Ok();
    return halvex::Status::FailErrno(kFolderErrorKey, path, error ? error.value() : ENOTDIR);
}

halvex::Status KMSystem::ExtractZip(const fs::path& archive, const fs::path& folder)
{
    return halvex::ExtractZipArchive(archive, folder);
}

bool KMSystem::PathWritable(const fs::path& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    // Changing a folder's entries needs search permission as well.
    const int wanted = S_ISDIR(info.st_mode) ? (W_OK | X_OK) : W_OK;
    return ::access(path.c_str(), wanted) == 0;
}

std::string KMSystem::CryptString(std::string_view text)
{
    return halvex::ScrambleIdentity(text);
}

halvex::Result<pid_t> KMSystem::StartProgram(const fs::path& program, const std::vector<std::string>& arguments)
{
    return halvex::StartDetached(program, arguments);
}

std::vector<pid_t> KMSystem::FindProcesses(const fs::path& executable)
{
    return halvex::FindProcessesByExecutable(executable);
}

halvex::Status KMSystem::QuitProcess(pid_t pid, std::chrono::milliseconds limit)
{
    return halvex::QuitProcess(pid, limit);
}
