#include "backup/BackupFileUtils.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include "util/FileTime.h"

namespace halvex {

namespace {

std::size_t LastSeparator(const std::string& path)
{
    return path.find_last_of("/\\");
}

std::optional<struct stat> StatOf(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st;
}

}  // namespace

std::string ExtractPath(const std::string& path)
{
    const auto at = LastSeparator(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const auto at = LastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string RemoveTrailingSlash(const std::string& path)
{
    if (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        return path.substr(0, path.size() - 1);
    return path;
}

std::string WithTrailingSlash(const std::string& path)
{
    if (path.empty() || path.back() != '/')
        return path + '/';
    return path;
}

bool FolderExists(const std::filesystem::path& path)
{
    const auto st = StatOf(path);
    return st && S_ISDIR(st->st_mode);
}

bool FileExists(const std::filesystem::path& path)
{
    const auto st = StatOf(path);
    return st && S_ISREG(st->st_mode);
}

std::uint64_t GetFileSize(const std::filesystem::path& path)
{
    const auto st = StatOf(path);
    return st ? static_cast<std::uint64_t>(st->st_size) : 0;
}

int CompareTimes(std::int64_t aNanoseconds, std::int64_t bNanoseconds)
{
    // Truncated toward zero, as whole seconds of the difference.
    const std::int64_t seconds = (aNanoseconds - bNanoseconds) / 1000000000;
    if (seconds > 2)
        return 1;
    if (seconds < -2)
        return -1;
    return 0;
}

int CompareFilesTime(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const auto timeA = FileModificationTime(a);
    if (!timeA)
        return 0;
    const auto timeB = FileModificationTime(b);
    if (!timeB)
        return 1;
    return CompareTimes(*timeA, *timeB);
}

bool IsHiddenName(const std::string& name)
{
    return !name.empty() && name.front() == '.';
}

std::string FileExtension(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string AsciiUpper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace halvex
