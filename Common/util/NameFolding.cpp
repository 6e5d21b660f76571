#include "util/NameFolding.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <wctype.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <unordered_set>

#include "util/BoundedRead.h"

namespace halvex {

namespace {

constexpr std::size_t kMountInfoLimit = std::size_t{16} * 1024 * 1024;
// Enough entries to find one with a letter in it; a huge folder is not read whole.
constexpr std::size_t kProbeEntries = 4096;
constexpr std::size_t kFatNameUnits = 255;

// Decodes one UTF-8 sequence at `pos`; nullopt (and pos unchanged) when the
// bytes there are not well-formed UTF-8.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > text.size())
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (byte(pos + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    pos += length;
    return value;
}

void AppendUtf8(std::string& out, char32_t value)
{
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (value >> 6)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (value >> 12)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (value >> 18)));
        out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

// The simple upper-case mapping of Unicode, as exFAT's up-case table holds
// it; independent of the process's own locale.
char32_t UpperCase(char32_t value)
{
    if (value < 0x80)
        return (value >= 'a' && value <= 'z') ? value - 'a' + 'A' : value;
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (unicode == static_cast<locale_t>(nullptr))
        return value;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(value), unicode));
}

// The name with the case of its ASCII letters swapped; empty when it has none.
std::string SwappedCase(std::string_view name)
{
    std::string swapped(name);
    bool changed = false;
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
            changed = true;
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
            changed = true;
        }
    }
    return changed ? swapped : std::string();
}

// Folding when an entry is found under another case, not folding when it is
// not found; nullopt when the folder holds nothing to probe with.
std::optional<bool> ProbeEntries(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return std::nullopt;
    }
    std::unordered_set<std::string> names;
    bool complete = false;
    while (names.size() < kProbeEntries) {
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            complete = true;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace(name);
    }
    std::optional<bool> answer;
    for (const std::string& name : names) {
        const std::string other = SwappedCase(name);
        if (other.empty())
            continue;
        // Both spellings listed: the folder holds them as two files.
        if (names.count(other) != 0) {
            answer = false;
            break;
        }
        struct stat original {};
        struct stat swapped {};
        if (::fstatat(fd, name.c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (::fstatat(fd, other.c_str(), &swapped, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                answer = false;
                break;
            }
            continue;
        }
        // Found although not listed. FUSE drivers give each spelling its own
        // inode number, so the same inode is not required of a whole listing;
        // of a cut one it is (the other spelling may lie past the cut).
        if (complete || (original.st_dev == swapped.st_dev && original.st_ino == swapped.st_ino)) {
            answer = true;
            break;
        }
    }
    ::closedir(dir);
    return answer;
}

// The type of the mount that holds `folder`, found by its device number.
std::string MountTypeOf(const std::filesystem::path& folder)
{
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return {};
    const char* overridden = std::getenv("HALVEX_MOUNTINFO");
    const std::filesystem::path source =
        overridden != nullptr && *overridden != '\0' ? overridden : "/proc/self/mountinfo";
    const Result<std::string> table = ReadBoundedFile(source, kMountInfoLimit);
    if (!table)
        return {};
    const std::string& text = table.value();
    const std::string device = std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        // id parent major:minor root mount-point options [optional...] - type
        // source options
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        const std::size_t third = second == std::string_view::npos ? second : line.find(' ', second + 1);
        if (third == std::string_view::npos || line.substr(second + 1, third - second - 1) != device)
            continue;
        const std::size_t dash = line.find(" - ", third);
        if (dash == std::string_view::npos)
            continue;
        const std::size_t typeStart = dash + 3;
        const std::size_t typeEnd = line.find(' ', typeStart);
        return std::string(
            line.substr(typeStart, typeEnd == std::string_view::npos ? std::string_view::npos : typeEnd - typeStart));
    }
    return {};
}

}  // namespace

bool FileSystemTypeFoldsCase(std::string_view fsType)
{
    static constexpr std::array<std::string_view, 12> kFolding = {
        "vfat",       "msdos",     "exfat",           "ntfs3",        "fuseblk", "fuse.fusefat",
        "fuse.exfat", "fuse.vfat", "fuse.exfat-fuse", "fuse.ntfs-3g", "hfs",     "hfsplus"};
    for (std::string_view type : kFolding)
        if (fsType == type)
            return true;
    return false;
}

bool FoldsCase(const std::filesystem::path& folder)
{
    if (const std::optional<bool> probed = ProbeEntries(folder))
        return *probed;
    return FileSystemTypeFoldsCase(MountTypeOf(folder));
}

std::string FoldedName(std::string_view name)
{
    std::string key;
    key.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) {
        if (const std::optional<char32_t> value = DecodeUtf8(name, pos)) {
            AppendUtf8(key, UpperCase(*value));
        } else {
            key.push_back(name[pos]);
            ++pos;
        }
    }
    return key;
}

std::string FatNameProblem(std::string_view name)
{
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::optional<char32_t> value = DecodeUtf8(name, pos);
        if (!value)
            return "fat_name_encoding";
        if (*value < 0x20 || std::u32string_view(U"\"*/:<>?\\|").find(*value) != std::u32string_view::npos)
            return "fat_name_chars";
        units += *value >= 0x10000 ? 2 : 1;
    }
    if (name.empty())
        return "fat_name_chars";
    if (name.back() == '.' || name.back() == ' ')
        return "fat_name_trailing";
    if (units > kFatNameUnits)
        return "fat_name_too_long";
    return {};
}

}  // namespace halvex
