#include "system/MountInfo.h"

#include <array>
#include <cerrno>
#include <fstream>

#include "util/SplitFields.h"

namespace halvex {

namespace {

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

std::string Unslashed(const std::filesystem::path& path)
{
    std::string text = path.lexically_normal().generic_string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

std::string DecodeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 255) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    if (text.size() > kMountInfoMaxBytes)
        text = text.substr(0, kMountInfoMaxBytes);
    std::size_t start = 0;
    while (start < text.size() && entries.size() < kMountInfoMaxEntries) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() > kMountInfoMaxLine)
            continue;

        // id parent major:minor root mount-point options [optional...] - type source super-options
        // The kernel never writes a raw blank inside a field.
        const std::vector<std::string_view> fields = SplitFields(line, 256, " \t\r");
        if (fields.size() < 9)
            continue;
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        // The separator and the two fields after it (type, source) must exist.
        if (dash + 2 >= fields.size())
            continue;

        MountEntry entry;
        entry.majorMinor = std::string(fields[2]);
        const std::string mountPoint = DecodeMountField(fields[4]);
        if (mountPoint.empty() || mountPoint.front() != '/' || mountPoint.find('\0') != std::string::npos)
            continue;
        entry.mountPoint = mountPoint;
        entry.fsType = DecodeMountField(fields[dash + 1]);
        entry.source = DecodeMountField(fields[dash + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

Result<std::vector<MountEntry>> ReadMountInfo(const std::filesystem::path& file)
{
    using Entries = Result<std::vector<MountEntry>>;
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Entries::FailErrno(kMountTableErrorKey, file, errno != 0 ? errno : EIO);
    std::string text;
    std::array<char, 65536> buffer{};
    // /proc files report size 0, so read in chunks up to the limit.
    while (text.size() < kMountInfoMaxBytes && in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return Entries::FailErrno(kMountTableErrorKey, file, EIO);
    return Entries::Ok(ParseMountInfo(text));
}

const MountEntry* FindMountFor(const std::vector<MountEntry>& entries, const std::filesystem::path& path)
{
    const std::string target = Unslashed(path);
    if (target.empty() || target.front() != '/')
        return nullptr;
    const MountEntry* best = nullptr;
    std::size_t bestLength = 0;
    for (const MountEntry& entry : entries) {
        const std::string point = Unslashed(entry.mountPoint);
        const bool matches = point == "/" || target == point ||
                             (target.size() > point.size() && target.compare(0, point.size(), point) == 0 &&
                              target[point.size()] == '/');
        if (matches && (best == nullptr || point.size() >= bestLength)) {
            best = &entry;
            bestLength = point.size();
        }
    }
    return best;
}

bool IsNetworkFileSystem(std::string_view fsType)
{
    static constexpr std::array<std::string_view, 14> kNetwork = {
        "nfs", "nfs4", "cifs",      "smb3",       "smbfs",          "ncpfs",      "afs",
        "9p",  "ceph", "glusterfs", "fuse.sshfs", "fuse.glusterfs", "fuse.davfs", "davfs"};
    for (std::string_view name : kNetwork)
        if (fsType == name)
            return true;
    return false;
}

}  // namespace halvex
