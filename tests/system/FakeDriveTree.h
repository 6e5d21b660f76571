#pragma once

// A built sysfs tree, mountinfo file and by-label and by-uuid folders in a temporary
// folder, shaped like the real ones (class/block entries are symlinks into
// devices/), so drive detection can be tested without drives. Header-only:
// the CLI tests use it too.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "system/DeviceSources.h"
#include "SystemTestSupport.h"

namespace halvex::test {

class FakeDriveTree {
public:
    explicit FakeDriveTree(const std::string& tag) : folder_(tag), root_(folder_.path())
    {
        std::filesystem::create_directories(sysfs());
        std::filesystem::create_directories(byLabel());
        std::filesystem::create_directories(byUuid());
        std::filesystem::create_directories(root_ / "mnt");
    }
    FakeDriveTree(const FakeDriveTree&) = delete;
    FakeDriveTree& operator=(const FakeDriveTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path sysfs() const { return root_ / "sys"; }
    std::filesystem::path byLabel() const { return root_ / "by-label"; }
    std::filesystem::path byUuid() const { return root_ / "by-uuid"; }
    std::filesystem::path mountInfo() const { return root_ / "mountinfo"; }

    DeviceSources sources() const
    {
        DeviceSources s;
        s.sysfsRoot = sysfs();
        s.mountInfo = mountInfo();
        s.diskByLabel = byLabel();
        s.diskByUuid = byUuid();
        return s;
    }

    // A USB device folder under devices/ with its ids and strings.
    void usbDevice(const std::string& devicePath, const std::string& vendor, const std::string& product,
                   const std::string& manufacturer = {}, const std::string& productName = {},
                   const std::string& serial = {})
    {
        const auto dir = sysfs() / "devices" / devicePath;
        std::filesystem::create_directories(dir);
        halvex::test::WriteFile(dir / "idVendor", vendor + "\n");
        halvex::test::WriteFile(dir / "idProduct", product + "\n");
        if (!manufacturer.empty())
            halvex::test::WriteFile(dir / "manufacturer", manufacturer + "\n");
        if (!productName.empty())
            halvex::test::WriteFile(dir / "product", productName + "\n");
        if (!serial.empty())
            halvex::test::WriteFile(dir / "serial", serial + "\n");
    }

    // A whole disk at devices/<diskPath> (its last component the kernel
    // name) with partitions inside it, and class/block links to each.
    void disk(const std::string& diskPath, bool removable, const std::vector<std::string>& partitions = {})
    {
        const auto dir = sysfs() / "devices" / diskPath;
        std::filesystem::create_directories(dir);
        halvex::test::WriteFile(dir / "removable", removable ? "1\n" : "0\n");
        classLink(dir);
        int number = 1;
        for (const std::string& name : partitions) {
            std::filesystem::create_directories(dir / name);
            halvex::test::WriteFile(dir / name / "partition", std::to_string(number++) + "\n");
            classLink(dir / name);
        }
    }

    // A mapped device's slaves/<name> link to the device it is built on.
    void slave(const std::string& devicePath, const std::string& slavePath)
    {
        const auto dir = sysfs() / "devices" / devicePath / "slaves";
        std::filesystem::create_directories(dir);
        const auto target = sysfs() / "devices" / slavePath;
        std::filesystem::create_symlink(target.lexically_relative(dir), dir / target.filename());
    }

    // dev/block/<major:minor> link to a device folder under devices/.
    void deviceNumber(const std::string& majorMinor, const std::string& devicePath)
    {
        std::filesystem::create_directories(sysfs() / "dev" / "block");
        std::filesystem::create_symlink(std::filesystem::path("../../devices") / devicePath,
                                        sysfs() / "dev" / "block" / majorMinor);
    }

    // A folder mounted from source; returns the mount point (under mnt/).
    std::filesystem::path mount(const std::string& name, const std::string& source, const std::string& type,
                                const std::string& majorMinor = "8:1")
    {
        auto point = root_ / "mnt" / name;
        std::filesystem::create_directories(point);
        mountLine(point.string(), source, type, majorMinor);
        return point;
    }

    void mountLine(const std::string& point, const std::string& source, const std::string& type,
                   const std::string& majorMinor = "8:1")
    {
        const int id = ++mountId_;
        std::ofstream out(mountInfo(), std::ios::app);
        out << id << " 1 " << majorMinor << " / " << escape(point) << " rw,relatime shared:" << id << " - " << type
            << ' ' << source << " rw\n";
    }

    // A by-label link as udev names it (blanks as \x20) to ../../<kernel name>.
    void label(const std::string& escapedLabel, const std::string& kernelName)
    {
        std::filesystem::create_symlink(std::filesystem::path("../..") / kernelName, byLabel() / escapedLabel);
    }

    // A by-uuid link to ../../<kernel name>.
    void uuid(const std::string& uuid, const std::string& kernelName)
    {
        std::filesystem::create_symlink(std::filesystem::path("../..") / kernelName, byUuid() / uuid);
    }

    // Every variable of detection pointed at this tree, for a program started from here.
    void exportEnvironment() const
    {
        ::setenv("HALVEX_MOUNTINFO", mountInfo().c_str(), 1);
        ::setenv("HALVEX_SYSFS_ROOT", sysfs().c_str(), 1);
        ::setenv("HALVEX_DISK_BY_LABEL", byLabel().c_str(), 1);
        ::setenv("HALVEX_DISK_BY_UUID", byUuid().c_str(), 1);
    }

private:
    void classLink(const std::filesystem::path& deviceDir)
    {
        const auto classDir = sysfs() / "class" / "block";
        std::filesystem::create_directories(classDir);
        std::filesystem::create_symlink(std::filesystem::path("../..") / deviceDir.lexically_relative(sysfs()),
                                        classDir / deviceDir.filename());
    }

    static std::string escape(const std::string& path)
    {
        std::string out;
        for (char c : path) {
            if (c == ' ')
                out += "\\040";
            else if (c == '\\')
                out += "\\134";
            else
                out += c;
        }
        return out;
    }

    TempFolder folder_;
    std::filesystem::path root_;
    int mountId_ = 20;
};

}  // namespace halvex::test
