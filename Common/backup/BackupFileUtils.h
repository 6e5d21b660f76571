#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Small file routines shared by the backup and the restore run. Paths are
// UTF-8 on Linux, so the text forms below work on the native strings.
namespace halvex {

// The part up to and including the last "/" (or "\\"); empty when there is none.
std::string ExtractPath(const std::string& path);
// The part after the last "/" (or "\\").
std::string ExtractFileName(const std::string& path);
// Removes one trailing separator.
std::string RemoveTrailingSlash(const std::string& path);
// The Windows long-path prefix never occurs on Linux; kept so callers read alike.
inline std::string RemoveUNCPrefix(const std::string& path)
{
    return path;
}
// Appends "/" when the text does not end with one.
std::string WithTrailingSlash(const std::string& path);

bool FolderExists(const std::filesystem::path& path);
// A regular file (or a link to one) that exists.
bool FileExists(const std::filesystem::path& path);
std::uint64_t GetFileSize(const std::filesystem::path& path);

// 0 when a does not exist, 1 when b does not exist; otherwise 1, -1 or 0 as a
// is later, earlier or the same. Times whose difference truncated to whole
// seconds is at most 2 s are the same: FAT keeps times to 2 s, and an archive
// on the drive must not look older than its unchanged source.
int CompareFilesTime(const std::filesystem::path& a, const std::filesystem::path& b);
int CompareTimes(std::int64_t aNanoseconds, std::int64_t bNanoseconds);

// A hidden name on Linux: it begins with ".".
bool IsHiddenName(const std::string& name);

// The extension of a file name (after the last "."), empty when there is none
// or when the only dot begins the name.
std::string FileExtension(const std::string& name);

// ASCII-only case folding, as the filters compare extensions.
bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b);
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

}  // namespace halvex
