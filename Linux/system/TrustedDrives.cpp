#include "system/TrustedDrives.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace halvex {

namespace {

constexpr std::size_t kFieldCount = 5;
constexpr std::size_t kMaxField = 512;

bool ParseLine(std::string_view line, DriveIdentity& drive)
{
    const std::optional<std::vector<std::string>> split = RecordFile::SplitLine(line, kFieldCount, kMaxField);
    if (!split)
        return false;
    const std::vector<std::string>& fields = *split;
    drive = DriveIdentity{fields[0], fields[1], fields[2], fields[3], fields[4]};
    return drive.IsDistinct();
}

}  // namespace

fs::path TrustedDrives::DefaultFile()
{
    return RecordFile::DefaultPath("trusted-drives");
}

TrustedDrives::TrustedDrives(fs::path file) : m_record(std::move(file), kMaxBytes, kDamagedKey, kWriteErrorKey) {}

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
    const Result<std::optional<std::string>> text = m_record.Read();
    if (!text)
        return text.status();
    if (!text.value())
        return Status::Ok();
    Result<std::vector<DriveIdentity>> drives = Parse(*text.value());
    if (!drives)
        return drives.status();
    m_drives = std::move(drives).value();
    return Status::Ok();
}

Status TrustedDrives::Reload()
{
    Status loaded = Load();
    if (loaded || m_record.Path().empty())
        return loaded;
    // Kept for a look by hand; the new list starts empty.
    m_record.SetAside();
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
    return m_record.Write(Format(m_drives));
}

}  // namespace halvex
