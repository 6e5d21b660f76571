#include "system/KMDevice.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "system/DiskLabels.h"
#include "config/DriveConfiguration.h"
#include "system/MountInfo.h"

namespace fs = std::filesystem;

// The suite's own drives' vendor, then the flash controllers' vendors.
const std::array<std::string_view, 5> KMDevice::sVendorID = {"090C", "13FE", "058F", "1F75", "1E3D"};

namespace {

// sysfs attribute files are a line of text; nothing longer is trusted.
std::string ReadAttribute(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    char buffer[256];
    in.read(buffer, sizeof buffer);
    std::string text(buffer, static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    const std::size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : text.substr(start);
}

bool IsKernelName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool IsMajorMinor(const std::string& text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || text.size() > 24)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != colon && !std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return text.compare(0, 2, "0:") != 0;  // major 0: no block device behind it
}

fs::path CanonicalOrNormal(const fs::path& path)
{
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    if (error)
        real = fs::absolute(path, error).lexically_normal();
    return real;
}

bool IsInside(const fs::path& path, const fs::path& root)
{
    const fs::path relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

// The one device a mapped device (dm-0 of an encrypted volume) is built on;
// empty when it has none or several (a volume over two disks is no one drive).
fs::path SingleSlave(const fs::path& node, const fs::path& sysRoot)
{
    std::error_code error;
    fs::directory_iterator it(node / "slaves", error);
    fs::path found;
    int count = 0;
    for (; !error && it != fs::directory_iterator() && count < 2; it.increment(error), ++count)
        found = it->path();
    if (count != 1)
        return {};
    found = CanonicalOrNormal(found);
    return IsInside(found, sysRoot) ? found : fs::path();
}

}  // namespace

KMDevice::KMDevice(const fs::path& path, halvex::DeviceSources sources) : m_sources(std::move(sources))
{
    // The drive's own configuration names the vendors of its sticks. That
    // alone never starts anything from a drive: the suite reads it from the
    // drive it already runs from.
    m_acceptedVendors = halvex::DriveConfiguration::Load(halvex::DriveResourcesFor(path)).acceptedVendorIds;
    if (!m_acceptedVendors.empty())
        m_vendorListSource = VendorListSource::DriveConfiguration;
    else
        m_acceptedVendors.assign(sVendorID.begin(), sVendorID.end());
    initDevice(path);
    if (!m_sources.assumedDriveRoot.empty())
        applyAssumedDrive(m_sources.assumedDriveRoot);
}

void KMDevice::initDevice(const fs::path& path)
{
    m_pathRun = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return;
    const fs::path real = CanonicalOrNormal(path);

    // Without the mount table the drive stays unknown, as one that is not mounted.
    const halvex::Result<std::vector<halvex::MountEntry>> mounts = halvex::ReadMountInfo(m_sources.mountInfo);
    if (!mounts)
        return;
    const halvex::MountEntry* mount = halvex::FindMountFor(mounts.value(), real);
    if (mount == nullptr)
        return;
    m_pathMount = mount->mountPoint;
    m_strFsType = mount->fsType;
    m_strDevice = mount->source;

    // The mounted device in sysfs: by its name under class/block, or by its
    // device number when the source is no /dev name (/dev/root, a mapper link).
    std::error_code error;
    fs::path candidate;
    if (m_strDevice.rfind("/dev/", 0) == 0) {
        fs::path source = m_strDevice;
        if (fs::is_symlink(source, error))
            source = CanonicalOrNormal(source);
        const std::string name = source.filename().string();
        if (IsKernelName(name) && fs::exists(m_sources.sysfsRoot / "class" / "block" / name, error))
            candidate = m_sources.sysfsRoot / "class" / "block" / name;
    }
    if (candidate.empty() && IsMajorMinor(mount->majorMinor) &&
        fs::exists(m_sources.sysfsRoot / "dev" / "block" / mount->majorMinor, error))
        candidate = m_sources.sysfsRoot / "dev" / "block" / mount->majorMinor;

    if (!candidate.empty()) {
        m_pathSysBlock = CanonicalOrNormal(candidate);
        m_strDeviceKernelName = m_pathSysBlock.filename().string();
        const fs::path sysRoot = CanonicalOrNormal(m_sources.sysfsRoot);
        fs::path node = m_pathSysBlock;
        for (int depth = 0; depth < 4; ++depth) {
            const fs::path below = SingleSlave(node, sysRoot);
            if (below.empty())
                break;
            node = below;
        }
        // A partition's whole disk is its parent folder: sdb1 in sdb,
        // mmcblk0p1 in mmcblk0, nvme0n1p2 in nvme0n1.
        m_pathSysDisk = fs::exists(node / "partition", error) ? node.parent_path() : node;
        m_strBSDName = m_pathSysDisk.filename().string();
        m_bRemovable = ReadAttribute(m_pathSysDisk / "removable") == "1";
        findDevices();
    }
    findVolumeName();
}

void KMDevice::findDevices()
{
    // The USB device is the first ancestor of the disk that carries the
    // vendor and product ids; loop, NVMe, SATA and virtual disks have none.
    const fs::path sysRoot = CanonicalOrNormal(m_sources.sysfsRoot);
    fs::path node = m_pathSysDisk;
    std::error_code error;
    for (int depth = 0; depth < 64 && IsInside(node, sysRoot); ++depth, node = node.parent_path()) {
        if (!fs::exists(node / "idVendor", error) || !fs::exists(node / "idProduct", error))
            continue;
        m_bRunFromDevice = true;
        m_strVendorID = halvex::UsbIdText(ReadAttribute(node / "idVendor"));
        m_strProductID = halvex::UsbIdText(ReadAttribute(node / "idProduct"));
        m_strManufacturer = ReadAttribute(node / "manufacturer");
        m_strProduct = ReadAttribute(node / "product");
        m_strSerial = ReadAttribute(node / "serial");
        m_bOurDevice = !m_strVendorID.empty() && std::find(m_acceptedVendors.begin(), m_acceptedVendors.end(),
                                                           m_strVendorID) != m_acceptedVendors.end();
        return;
    }
}

void KMDevice::findVolumeName()
{
    m_strLabel = halvex::FindLabelFor(m_sources.diskByLabel, m_strDeviceKernelName);
    m_strUuid = halvex::FindLabelFor(m_sources.diskByUuid, m_strDeviceKernelName);
    m_strVolumeName = m_strLabel;
    if (m_strVolumeName.empty())
        m_strVolumeName = m_pathMount.filename().string();
    if (m_strVolumeName.empty())
        m_strVolumeName = driveTypeName();
}

std::string KMDevice::driveTypeName() const
{
    if (m_strFsType == "tmpfs" || m_strFsType == "ramfs")
        return std::string(kRamDisk);
    if (halvex::IsNetworkFileSystem(m_strFsType))
        return std::string(kNetworkDrive);
    if (m_pathSysDisk.empty())
        return std::string(kUnknown);
    if (m_strBSDName.rfind("sr", 0) == 0)
        return std::string(kCdRomDrive);
    return std::string(m_bRemovable ? kRemovableDisk : kHardDrive);
}

void KMDevice::applyAssumedDrive(const fs::path& root)
{
    const fs::path realRoot = CanonicalOrNormal(root);
    const fs::path realPath = CanonicalOrNormal(m_pathRun);
    if (realPath != realRoot && !IsInside(realPath, realRoot))
        return;
    if (!m_bRunFromDevice) {
        m_strProductID.clear();
        m_strManufacturer.clear();
        m_strProduct.clear();
        m_strSerial.clear();
    }
    m_bAssumed = true;
    m_bRunFromDevice = true;
    m_bOurDevice = true;
    m_strVendorID = m_acceptedVendors.front();
    m_pathMount = realRoot;
    const std::string name = realRoot.filename().string();
    if (!name.empty())
        m_strVolumeName = name;
}

halvex::Result<KMDevice::Space> KMDevice::getSizeForTotal() const
{
    using Answer = halvex::Result<Space>;
    if (m_pathRun.empty())
        return Answer::Fail(kSizeErrorKey, "no run path");
    struct statvfs info {};
    if (::statvfs(m_pathRun.c_str(), &info) != 0)
        return Answer::FailErrno(kSizeErrorKey, m_pathRun, errno);
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    const std::uint64_t blocks = info.f_blocks;
    const std::uint64_t freeBlocks = std::min<std::uint64_t>(info.f_bfree, blocks);
    if (unit == 0 || blocks == 0)
        return Answer::Fail(kSizeErrorKey, m_pathRun.string() + ": the file system reports no size");
    Space space;
    space.total = blocks * unit;
    space.free = freeBlocks * unit;
    space.used = space.total - space.free;
    return Answer::Ok(space);
}

halvex::Result<KMDevice::SpaceText> KMDevice::getSizeStringForTotal() const
{
    const halvex::Result<Space> space = getSizeForTotal();
    if (!space)
        return halvex::Result<SpaceText>::From(space.status());
    return halvex::Result<SpaceText>::Ok(TextOf(space.value()));
}

KMDevice::SpaceText KMDevice::TextOf(const Space& space)
{
    return {stringFromFileSize(space.total), stringFromFileSize(space.used), stringFromFileSize(space.free)};
}

std::uint64_t KMDevice::allocationBlockSize() const
{
    struct statvfs info {};
    if (!m_pathRun.empty() && ::statvfs(m_pathRun.c_str(), &info) == 0) {
        if (info.f_frsize != 0)
            return info.f_frsize;
        if (info.f_bsize != 0)
            return info.f_bsize;
    }
    return 65536;
}

std::string KMDevice::stringFromFileSize(std::uint64_t bytes)
{
    static constexpr std::array<const char*, 7> kSuffix = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    // Single precision, as the other edition computes it, so the texts match.
    float value = static_cast<float>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0f && unit + 1 < kSuffix.size()) {
        value *= 1.0f / 1024.0f;
        ++unit;
    }
    const char* pattern = unit <= 1 ? "%.0f %s" : unit == 2 ? "%.1f %s" : "%.2f %s";
    char text[64];
    std::snprintf(text, sizeof text, pattern, static_cast<double>(value), kSuffix[unit]);
    return text;
}
