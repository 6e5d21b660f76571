#include "backup/BackupInfoFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "backup/BackupFileUtils.h"
#include "backup/BackupStrings.h"
#include "plist/AtomicFileWrite.h"

namespace halvex {

namespace {

// An information file holds one path; anything larger is not one.
constexpr std::size_t kMaxInfoBytes = std::size_t{64} * 1024;

constexpr std::array<const char*, 3> kGenerations{"Current Backup", "Recent Backup", "Old Backup"};

// Replaced whole through a temporary, so a pulled drive leaves the old text
// or the new one. A link in the set's place is replaced, never written
// through: the drive's content must not lead the write onto the computer.
Status ReplaceInfoFile(const std::filesystem::path& file, const std::string& text)
{
    if (Status removed = RemoveLinkInPlace(file); !removed)
        return removed;
    return WriteFileAtomic(file, text);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16LeToUtf8(const std::string& bytes, std::size_t& units)
{
    std::string out;
    units = 0;
    std::size_t i = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        i = 2;
    auto unitAt = [&](std::size_t at) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                     (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = unitAt(i);
        if (unit == 0 || unit == u'\r' || unit == u'\n')
            break;
        ++units;
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
                ++units;
            } else {
                c = 0xFFFD;
            }
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

struct Candidate {
    std::filesystem::path setFolder;
    std::filesystem::path generationFolder;
};

std::vector<Candidate> SetCandidates(const std::filesystem::path& path)
{
    std::vector<std::filesystem::path> parts(path.begin(), path.end());
    std::vector<Candidate> candidates;
    for (const char* generation : kGenerations) {
        std::filesystem::path prefix;
        // The generation folder must have something below it: the path is a
        // file (or folder) inside it.
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            if (parts[i] == generation && i > 0)
                candidates.push_back({prefix, prefix / parts[i]});
            prefix /= parts[i];
        }
    }
    return candidates;
}

std::filesystem::path ExistingInfoFile(const std::filesystem::path& setFolder)
{
    if (FileExists(setFolder / kInfoFileName))
        return setFolder / kInfoFileName;
    for (int number = 0; number < kInfoFileAlternatives; ++number) {
        auto candidate = setFolder / InfoFileAlternative(number);
        if (FileExists(candidate))
            return candidate;
    }
    return {};
}

}  // namespace

std::string InfoFileAlternative(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "info%.3d.ini", number);
    return name;
}

Status WriteInfoFile(const std::filesystem::path& setFolder, const std::string& sourceFolder)
{
    Status usual = ReplaceInfoFile(setFolder / kInfoFileName, sourceFolder);
    if (usual)
        return usual;
    for (int number = 0; number < kInfoFileAlternatives; ++number)
        if (ReplaceInfoFile(setFolder / InfoFileAlternative(number), sourceFolder))
            return Status::Ok();
    // The reason the usual name could not be written is the one to tell.
    return Status::FailErrno(kInfoUnwritableKey, setFolder / kInfoFileName,
                             usual.systemError != 0 ? usual.systemError : EIO);
}

std::string DecodeInfoText(const std::string& bytes, bool& valid)
{
    if (bytes.find('\0') != std::string::npos) {
        std::size_t units = 0;
        std::string text = Utf16LeToUtf8(bytes, units);
        valid = units > 2;
        return text;
    }
    std::string text = bytes;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    const auto end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.resize(end);
    valid = text.size() > 2;
    return text;
}

InfoFileLookup ReadInfoFile(const std::filesystem::path& pathInSet)
{
    InfoFileLookup lookup;
    const auto candidates = SetCandidates(pathInSet);
    if (candidates.empty()) {
        lookup.status = Status::Fail(kInfoNoGenerationFolderKey);
        return lookup;
    }
    // A set may itself be named like a generation folder; the one that holds
    // an information file is the set.
    const Candidate* chosen = &candidates.front();
    std::filesystem::path file;
    for (const auto& candidate : candidates) {
        file = ExistingInfoFile(candidate.setFolder);
        if (!file.empty()) {
            chosen = &candidate;
            break;
        }
    }
    lookup.setFolder = chosen->setFolder;
    lookup.generationFolder = chosen->generationFolder;
    if (file.empty()) {
        lookup.status = Status::Fail(kInfoMissingKey);
        return lookup;
    }

    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        lookup.status = Status::FailErrno(kInfoUnopenableKey, errno);
        return lookup;
    }
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxInfoBytes)
            break;
    }
    ::close(fd);

    bool valid = false;
    std::string text = bytes.size() > kMaxInfoBytes ? std::string() : DecodeInfoText(bytes, valid);
    // The original folder is a place on this computer: a path of the other
    // build ("C:\\Users\\...") names none, and restoring by it would write
    // below the current folder.
    if (!valid || text.empty() || text.front() != '/') {
        lookup.status = Status::Fail(kInfoInvalidKey);
        return lookup;
    }
    lookup.originalFolder = WithTrailingSlash(text);
    lookup.status = Status::Ok();
    return lookup;
}

int InfoFileMessage(const Status& status)
{
    return MessageOfKey(status,
                        {{kInfoNoGenerationFolderKey, backup_message::kNoOriginalFolder},
                         {kInfoUnopenableKey, backup_message::kIniUnopenable},
                         {kInfoInvalidKey, backup_message::kIniInvalid}},
                        backup_message::kIniMissing);
}

}  // namespace halvex
