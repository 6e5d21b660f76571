#include "system/TrustedDrives.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

#include "plist/AtomicFileWrite.h"
#include "util/BoundedRead.h"
#include "util/SpecialFolders.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

constexpr std::size_t kFieldCount = 5;
constexpr std::size_t kMaxField = 512;

bool HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool ParseLine(std::string_view line, DriveIdentity& drive)
{
    std::array<std::string, kFieldCount> fields;
    std::size_t index = 0;
    for (;;) {
        const std::size_t tab = line.find('\t');
        const std::string_view field = line.substr(0, tab);
        if (index == kFieldCount || field.size() > kMaxField || HasControlCharacter(field))
            return false;
        fields[index++] = std::string(field);
        if (tab == std::string_view::npos)
            break;
        line.remove_prefix(tab + 1);
    }
    if (index != kFieldCount)
        return false;
    drive = DriveIdentity{fields[0], fields[1], fields[2], fields[3], fields[4]};
    return drive.IsDistinct();
}

}  // namespace

fs::path TrustedDrives::DefaultFile()
{
    const fs::path config = UserConfigFolder();
    return config.empty() ? fs::path() : config / "halvex-dravane" / "trusted-drives";
}

TrustedDrives::TrustedDrives(fs::path file) : m_file(std::move(file)) {}

bool TrustedDrives::IsTrusted(const DriveIdentity& drive) const
{
    return drive.IsDistinct() &&
           std::any_of(m_drives.begin(), m_drives.end(), [&](const DriveIdentity& d) { return d.SameDrive(drive); });
}

std::string TrustedDrives::Format(const std::vector<DriveIdentity>& drives)
{
    std::string text(kHeader);
    text += '\n';
    for (const DriveIdentity& d : drives)
        text += d.vendorId + '\t' + d.productId + '\t' + d.serial + '\t' + d.uuid + '\t' + d.label + '\n';
    return text;
}

Result<std::vector<DriveIdentity>> TrustedDrives::Parse(std::string_view text)
{
    using Drives = Result<std::vector<DriveIdentity>>;
    std::vector<DriveIdentity> drives;
    bool sawHeader = false;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (!sawHeader) {
            sawHeader = line == kHeader;
            if (!sawHeader)
                return Drives::Fail(kDamagedKey, "no header");
            continue;
        }
        DriveIdentity drive;
        if (!ParseLine(line, drive))
            return Drives::Fail(kDamagedKey, "line " + std::to_string(number));
        if (drives.size() == kMaxDrives)
            return Drives::Fail(kDamagedKey, "more than " + std::to_string(kMaxDrives) + " drives");
        drives.push_back(std::move(drive));
    }
    if (!sawHeader)
        return Drives::Fail(kDamagedKey, "no header");
    return Drives::Ok(std::move(drives));
}

Status TrustedDrives::Load()
{
    m_drives.clear();
    if (m_file.empty())
        return Status::Fail(kDamagedKey, "no configuration folder");
    std::error_code error;
    if (!fs::exists(fs::symlink_status(m_file, error)))
        return Status::Ok();
    const Result<std::string> text = ReadBoundedFile(m_file, kMaxBytes);
    if (!text)
        return Status::Fail(kDamagedKey, "unreadable or larger than " + std::to_string(kMaxBytes) + " bytes");
    Result<std::vector<DriveIdentity>> drives = Parse(text.value());
    if (!drives)
        return drives.status();
    m_drives = std::move(drives).value();
    return Status::Ok();
}

Status TrustedDrives::Reload()
{
    Status loaded = Load();
    if (loaded || m_file.empty())
        return loaded;
    // Kept for a look by hand; the new list starts empty.
    std::error_code error;
    fs::rename(m_file, fs::path(m_file).concat(".damaged"), error);
    return Status::Ok();
}

Status TrustedDrives::Trust(const DriveIdentity& drive)
{
    if (!drive.IsDistinct())
        return Status::Fail(kNotDistinctKey);
    if (Status loaded = Reload(); !loaded)
        return loaded;
    const auto found =
        std::find_if(m_drives.begin(), m_drives.end(), [&](const DriveIdentity& d) { return d.SameDrive(drive); });
    if (found != m_drives.end())
        *found = drive;
    else if (m_drives.size() < kMaxDrives)
        m_drives.push_back(drive);
    else
        return Status::Fail(kWriteErrorKey, "more than " + std::to_string(kMaxDrives) + " drives");
    return Write();
}

Result<bool> TrustedDrives::Forget(const DriveIdentity& drive)
{
    if (Status loaded = Reload(); !loaded)
        return Result<bool>::From(std::move(loaded));
    const auto before = m_drives.size();
    std::erase_if(m_drives, [&](const DriveIdentity& d) { return d.SameDrive(drive); });
    if (m_drives.size() == before)
        return Result<bool>::Ok(false);
    if (Status written = Write(); !written)
        return Result<bool>::From(std::move(written));
    return Result<bool>::Ok(true);
}

Status TrustedDrives::Write()
{
    std::error_code error;
    const fs::path folder = m_file.parent_path();
    if (m_file.empty() || (!fs::is_directory(folder, error) && !fs::create_directories(folder, error)))
        return Status::Fail(kWriteErrorKey, error ? error.message() : "no configuration folder");
    if (Status written = WriteFileAtomic(m_file, Format(m_drives), fs::perms::owner_read | fs::perms::owner_write);
        !written)
        return written.As(kWriteErrorKey);
    return Status::Ok();
}

}  // namespace halvex
