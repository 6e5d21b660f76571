#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "system/DeviceSources.h"
#include "util/Result.h"

// The drive a path lives on: its mount, its whole disk, and the USB device
// above that disk. Built once by start-up from the run path (and by the
// auto-run agent for each newly mounted drive); it does not follow later
// plugging. Used on one thread at a time.
class KMDevice {
public:
    // The built-in accepted USB vendors, four upper-case hexadecimal
    // characters each; the first is the suite's own drives', the others its
    // flash controllers'. A drive's configuration (Configuration.plist,
    // "AcceptedVendorIDs") replaces them for that drive.
    static const std::array<std::string_view, 5> sVendorID;

    enum class VendorListSource { BuiltIn, DriveConfiguration };

    // For the run path pass DeviceSources::FromEnvironment(runPath), so that
    // HALVEX_ASSUME_USB applies to it; the default detects for real.
    explicit KMDevice(const std::filesystem::path& path,
                      halvex::DeviceSources sources = halvex::DeviceSources::FromEnvironment());
    virtual ~KMDevice() = default;

    // The path lies on a USB storage device.
    bool runFromDevice() const { return m_bRunFromDevice; }
    // ... of an accepted vendor.
    bool isHalvexDrive() const { return m_bOurDevice; }
    // The vendors this drive was tested against, and where they came from.
    const std::vector<std::string>& acceptedVendors() const { return m_acceptedVendors; }
    VendorListSource vendorListSource() const { return m_vendorListSource; }
    // True when HALVEX_ASSUME_USB made this path's drive a suite drive.
    bool isAssumed() const { return m_bAssumed; }

    // The path the drive was detected from.
    const std::filesystem::path& runPath() const { return m_pathRun; }
    // The whole disk's kernel name ("sdb", "mmcblk0", "nvme0n1"); empty when
    // the path is not on a block device.
    const std::string& bsdName() const { return m_strBSDName; }
    // The mounted device ("/dev/sdb1"), or the mount source for other mounts.
    const std::string& deviceName() const { return m_strDevice; }
    const std::filesystem::path& mountPath() const { return m_pathMount; }
    const std::string& fileSystemType() const { return m_strFsType; }

    // The drive's display name: its label, else the mount point's last
    // component, else a name for the drive type ("Removable Disk" ...).
    const std::string& volumeName() const { return m_strVolumeName; }

    // USB device identity; empty when not on USB.
    const std::string& vendorID() const { return m_strVendorID; }
    const std::string& productID() const { return m_strProductID; }
    const std::string& manufacturer() const { return m_strManufacturer; }
    const std::string& product() const { return m_strProduct; }
    const std::string& serial() const { return m_strSerial; }
    // The file system's UUID as udev names it ("1A2B-3C4D"); empty when it has none.
    const std::string& fileSystemUuid() const { return m_strUuid; }
    // The label alone, without volumeName()'s fallbacks; empty when none.
    const std::string& label() const { return m_strLabel; }

    struct Space {
        std::uint64_t total = 0;
        std::uint64_t used = 0;
        std::uint64_t free = 0;
    };
    // The same as stringFromFileSize texts.
    struct SpaceText {
        std::string total;
        std::string used;
        std::string free;
    };
    // The path's file system could not be asked for its size (the command
    // line's "info" shows the same text).
    static constexpr const char* kSizeErrorKey = "cli_size_unreadable";

    // Total, used and free bytes of the path's file system; free counts
    // every free block, not just those open to this user. kSizeErrorKey
    // with the system's reason when the file system cannot be read.
    halvex::Result<Space> getSizeForTotal() const;
    halvex::Result<SpaceText> getSizeStringForTotal() const;
    // The texts of sizes already read, so a bar and its texts come from one look.
    static SpaceText TextOf(const Space& space);
    // The file system's allocation unit, for rounding file sizes up to whole
    // clusters; 65536 when the system does not say.
    std::uint64_t allocationBlockSize() const;

    // "0 bytes", "1023 bytes", "1 KB", "1.0 MB", "1.50 GB".
    static std::string stringFromFileSize(std::uint64_t bytes);

    // A name for a kind of drive, used when it has no label.
    static constexpr std::string_view kRemovableDisk = "Removable Disk";
    static constexpr std::string_view kHardDrive = "Hard Drive";
    static constexpr std::string_view kNetworkDrive = "Network Drive";
    static constexpr std::string_view kCdRomDrive = "CD-ROM Drive";
    static constexpr std::string_view kRamDisk = "RAM Disk";
    static constexpr std::string_view kUnknown = "Unknown";

private:
    void initDevice(const std::filesystem::path& path);
    void findDevices();
    void findVolumeName();
    std::string driveTypeName() const;
    void applyAssumedDrive(const std::filesystem::path& root);

    halvex::DeviceSources m_sources;
    std::filesystem::path m_pathRun;
    std::filesystem::path m_pathMount;
    std::filesystem::path m_pathSysBlock;  // the mounted block device's sysfs folder
    std::filesystem::path m_pathSysDisk;   // its whole disk's sysfs folder
    std::string m_strDevice;
    std::string m_strDeviceKernelName;  // "sdb1"
    std::string m_strFsType;
    std::string m_strBSDName;
    std::string m_strVolumeName;
    std::string m_strLabel;
    std::string m_strUuid;
    std::string m_strVendorID;
    std::string m_strProductID;
    std::string m_strManufacturer;
    std::string m_strProduct;
    std::string m_strSerial;
    std::vector<std::string> m_acceptedVendors;
    VendorListSource m_vendorListSource = VendorListSource::BuiltIn;
    bool m_bRemovable = false;
    bool m_bRunFromDevice = false;
    bool m_bOurDevice = false;
    bool m_bAssumed = false;
};
