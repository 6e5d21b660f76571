// Drive detection on a sysfs tree, a mount table and a label folder whose
// contents come from the input: the USB device's attribute files (which a
// device reports itself), the mount table (where "@M" stands for the mount
// point of the fake drive) and the label link's name.
#include "FuzzSupport.h"
#include "system/DeviceSources.h"
#include "system/DiskLabels.h"
#include "system/KMDevice.h"

#include <array>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct FakeSystem {
    fs::path root;
    fs::path usbDevice;
    fs::path disk;
    fs::path mountPoint;
    halvex::DeviceSources sources;
};

const FakeSystem& System()
{
    static const FakeSystem system = [] {
        FakeSystem s;
        s.root = halvex::fuzz::MakeTempFolder("sysfs-fuzz");
        const fs::path sys = s.root / "sys";
        s.usbDevice = sys / "devices/pci0000:00/0000:00:14.0/usb2/2-1";
        s.disk = s.usbDevice / "2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
        fs::create_directories(s.disk / "sdb1");
        fs::create_directories(sys / "class/block");
        fs::create_directories(sys / "dev/block");
        halvex::fuzz::WriteFile(s.disk / "sdb1/partition", "1\n");
        halvex::fuzz::WriteFile(s.disk / "sdb1/dev", "8:17\n");
        halvex::fuzz::WriteFile(s.disk / "dev", "8:16\n");
        fs::create_directory_symlink(s.disk / "sdb1", sys / "class/block/sdb1");
        fs::create_directory_symlink(s.disk / "sdb1", sys / "dev/block/8:17");
        s.mountPoint = s.root / "media/STICK";
        fs::create_directories(s.mountPoint / "Halvex Data");
        fs::create_directories(s.root / "by-label");
        s.sources.sysfsRoot = sys;
        s.sources.mountInfo = s.root / "mountinfo";
        s.sources.diskByLabel = s.root / "by-label";
        return s;
    }();
    return system;
}

std::string WithMountPoint(std::string_view text, const fs::path& mountPoint)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '@' && i + 1 < text.size() && text[i + 1] == 'M') {
            out += mountPoint.string();
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsFileName(std::string_view name)
{
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t{64} * 1024)
        return 0;
    const FakeSystem& s = System();
    const auto fields = halvex::fuzz::SplitFields(halvex::fuzz::AsText(data, size), 8);

    halvex::fuzz::WriteFile(s.sources.mountInfo, WithMountPoint(fields[0], s.mountPoint));
    const std::array<const char*, 5> usbAttributes = {"idVendor", "idProduct", "manufacturer", "product", "serial"};
    for (std::size_t i = 0; i < usbAttributes.size(); ++i)
        halvex::fuzz::WriteFile(s.usbDevice / usbAttributes[i], fields[1 + i]);
    halvex::fuzz::WriteFile(s.disk / "removable", fields[6]);

    std::error_code error;
    fs::remove_all(s.sources.diskByLabel, error);
    fs::create_directory(s.sources.diskByLabel, error);
    if (IsFileName(fields[7]))
        fs::create_symlink("../../sdb1", s.sources.diskByLabel / fields[7], error);

    const KMDevice device(s.mountPoint / "Halvex Data", s.sources);
    using halvex::fuzz::Check;
    Check(device.vendorID().empty() || device.vendorID().size() == 4, "vendor id of the wrong length");
    Check(device.productID().empty() || device.productID().size() == 4, "product id of the wrong length");
    Check(device.manufacturer().size() <= 256 && device.product().size() <= 256 && device.serial().size() <= 256,
          "attribute read beyond its bound");
    if (!device.mountPath().empty())
        Check(!device.volumeName().empty(), "a mounted drive without a display name");
    if (device.isHalvexDrive())
        Check(device.runFromDevice(), "suite drive that is not a USB drive");
    (void)halvex::DecodeUdevEscapes(fields[7]);
    return 0;
}
