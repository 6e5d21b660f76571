#include "system/KMDevice.h"

#include <gtest/gtest.h>

#include "FakeDriveTree.h"

namespace fs = std::filesystem;
using halvex::test::FakeDriveTree;
using halvex::test::ScopedEnv;

namespace {

const std::string kUsbBus = "pci0000:00/0000:00:14.0/usb1";
const std::string kStick = kUsbBus + "/1-1";
const std::string kBareStick = kUsbBus + "/1-2";
const std::string kReader = kUsbBus + "/1-3";
const std::string kOtherVendor = kUsbBus + "/1-4";

// One computer: an NVMe system disk mounted at /, a USB stick of the suite's
// vendor with a partition, a stick formatted without a partition table, an SD
// card in a USB reader, a foreign vendor's stick, a loop-mounted image, a
// tmpfs and a network share.
class KMDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The root hub carries ids too; detection must stop below it.
        tree.usbDevice(kUsbBus, "1d6b", "0002", "Linux Foundation", "xHCI Host Controller");
        tree.usbDevice(kStick, "090c", "1000", "Halvex", "Dravane Stick", "AA01");
        tree.disk(kStick + "/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", true, {"sdb1"});
        tree.usbDevice(kBareStick, "13fe", "4300", "Generic", "Bare");
        tree.disk(kBareStick + "/1-2:1.0/host1/target1:0:0/1:0:0:0/block/sdc", true);
        tree.usbDevice(kReader, "058f", "6366", "Generic", "Card Reader");
        tree.disk(kReader + "/1-3:1.0/rtsx_usb_sdmmc.4/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", false, {"mmcblk0p1"});
        tree.usbDevice(kOtherVendor, "abcd", "0001", "Other", "Foreign Stick");
        tree.disk(kOtherVendor + "/1-4:1.0/host2/target2:0:0/2:0:0:0/block/sdd", true, {"sdd1"});
        tree.disk("pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", false, {"nvme0n1p1", "nvme0n1p2"});
        tree.disk("virtual/block/loop0", false);

        tree.mountLine("/", "/dev/nvme0n1p2", "ext4", "259:2");
        stick = tree.mount("STICK", "/dev/sdb1", "vfat", "8:17");
        bare = tree.mount("bare", "/dev/sdc", "exfat", "8:32");
        card = tree.mount("card", "/dev/mmcblk0p1", "vfat", "179:1");
        foreign = tree.mount("foreign", "/dev/sdd1", "vfat", "8:49");
        image = tree.mount("image", "/dev/loop0", "iso9660", "7:0");
        ram = tree.mount("ram", "tmpfs", "tmpfs", "0:45");
        share = tree.mount("share", "server:/export", "nfs4", "0:60");
        tree.label("MY\\x20STICK", "sdb1");
        tree.label("SDCARD", "mmcblk0p1");
        tree.uuid("1A2B-3C4D", "sdb1");
    }

    KMDevice detect(const fs::path& path) const { return KMDevice(path, tree.sources()); }

    FakeDriveTree tree{"device"};
    fs::path stick, bare, card, foreign, image, ram, share;
};

TEST_F(KMDeviceTest, DetectionRulesPerDrive)
{
    struct Case {
        fs::path path;
        bool usb;
        bool ours;
        std::string bsdName;
        std::string vendor;
        std::string label;
    };
    const std::vector<Case> cases = {
        {stick, true, true, "sdb", "090C", "MY STICK"},
        {stick / "deep" / "folder", true, true, "sdb", "090C", "MY STICK"},
        {bare, true, true, "sdc", "13FE", "bare"},
        {card, true, true, "mmcblk0", "058F", "SDCARD"},
        {foreign, true, false, "sdd", "ABCD", "foreign"},
        {image, false, false, "loop0", "", "image"},
        {ram, false, false, "", "", "ram"},
        {share, false, false, "", "", "share"},
        {tree.root(), false, false, "nvme0n1", "", "Hard Drive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        fs::create_directories(c.path);
        const KMDevice device = detect(c.path);
        EXPECT_EQ(device.runFromDevice(), c.usb);
        EXPECT_EQ(device.isHalvexDrive(), c.ours);
        EXPECT_EQ(device.bsdName(), c.bsdName);
        EXPECT_EQ(device.vendorID(), c.vendor);
        EXPECT_EQ(device.volumeName(), c.label);
        EXPECT_FALSE(device.isAssumed());
    }
}

TEST_F(KMDeviceTest, TheDrivesConfigurationReplacesTheBuiltInVendorList)
{
    const auto configure = [](const fs::path& drive, const std::string& ids) {
        const fs::path resources = drive / "HalvexDravane.app" / "Contents" / "Resources";
        fs::create_directories(resources);
        halvex::test::WriteFile(
            resources / "Configuration.plist",
            "<plist version=\"1.0\"><dict><key>AcceptedVendorIDs</key><array>" + ids + "</array></dict></plist>");
    };
    configure(foreign, "<string>abcd</string>");
    configure(stick, "<string>ABCD</string>");
    configure(bare, "<string>not an id</string>");
    const KMDevice accepted = detect(foreign);
    EXPECT_TRUE(accepted.isHalvexDrive());
    EXPECT_EQ(accepted.vendorListSource(), KMDevice::VendorListSource::DriveConfiguration);
    // Its bundle, as the auto-run agent passes it, finds the same file.
    EXPECT_TRUE(detect(foreign / "HalvexDravane.app").isHalvexDrive());
    EXPECT_FALSE(detect(stick).isHalvexDrive()) << "the list replaces the built-in one";
    const KMDevice unusable = detect(bare);
    EXPECT_TRUE(unusable.isHalvexDrive());
    EXPECT_EQ(unusable.vendorListSource(), KMDevice::VendorListSource::BuiltIn);
}

TEST_F(KMDeviceTest, UsbStickReportsItsIdentityAndMount)
{
    const KMDevice device = detect(stick);
    EXPECT_EQ(device.productID(), "1000");
    EXPECT_EQ(device.manufacturer(), "Halvex");
    EXPECT_EQ(device.product(), "Dravane Stick");
    EXPECT_EQ(device.serial(), "AA01");
    EXPECT_EQ(device.fileSystemUuid(), "1A2B-3C4D");
    EXPECT_EQ(detect(card).fileSystemUuid(), "");
    EXPECT_EQ(device.deviceName(), "/dev/sdb1");
    EXPECT_EQ(device.mountPath(), stick);
    EXPECT_EQ(device.fileSystemType(), "vfat");
}

TEST_F(KMDeviceTest, DriveTypeNamesWhenThereIsNoName)
{
    // Mounted at / (no last component) and without a label.
    struct Case {
        std::string source;
        std::string type;
        std::string expected;
    };
    tree.disk("pci0000:00/0000:00:17.0/ata1/host3/target3:0:0/3:0:0:0/block/sr0", true);
    const std::vector<Case> cases = {
        {"/dev/sdd1", "vfat", "Removable Disk"}, {"/dev/nvme0n1p1", "ext4", "Hard Drive"},
        {"/dev/sr0", "iso9660", "CD-ROM Drive"}, {"tmpfs", "tmpfs", "RAM Disk"},
        {"none", "ramfs", "RAM Disk"},           {"//server/share", "cifs", "Network Drive"},
        {"overlay", "overlay", "Unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        halvex::test::WriteFile(tree.mountInfo(), "");
        tree.mountLine("/", c.source, c.type, "0:99");
        EXPECT_EQ(detect(tree.root()).volumeName(), c.expected);
    }
}

TEST_F(KMDeviceTest, SourceWithoutDevNameIsFoundByDeviceNumber)
{
    tree.deviceNumber("8:17", kStick + "/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb/sdb1");
    const fs::path point = tree.mount("root-alias", "/dev/root", "ext4", "8:17");
    const KMDevice device = detect(point);
    EXPECT_TRUE(device.isHalvexDrive());
    EXPECT_EQ(device.bsdName(), "sdb");
    EXPECT_EQ(device.volumeName(), "MY STICK");
}

TEST_F(KMDeviceTest, EncryptedVolumeIsTracedToTheStickBelowIt)
{
    tree.disk("virtual/block/dm-0", false);
    tree.slave("virtual/block/dm-0", kStick + "/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb/sdb1");
    tree.deviceNumber("254:0", "virtual/block/dm-0");
    tree.label("SECRET", "dm-0");
    const fs::path point = tree.mount("secret", "/dev/mapper/luks-1234", "ext4", "254:0");
    const KMDevice device = detect(point);
    EXPECT_TRUE(device.isHalvexDrive());
    EXPECT_EQ(device.bsdName(), "sdb");
    EXPECT_EQ(device.volumeName(), "SECRET");

    // Spread over two devices it is no one drive.
    tree.slave("virtual/block/dm-0", kBareStick + "/1-2:1.0/host1/target1:0:0/1:0:0:0/block/sdc");
    EXPECT_FALSE(detect(point).runFromDevice());
}

TEST_F(KMDeviceTest, HostileSourceNamesDoNotClimbOutOfSysfs)
{
    const fs::path point = tree.mount("evil", "/dev/..", "vfat", "0:1");
    const KMDevice device = detect(point);
    EXPECT_FALSE(device.runFromDevice());
    EXPECT_TRUE(device.bsdName().empty());
}

TEST_F(KMDeviceTest, MissingPathOrMountInfoLeavesEverythingFalse)
{
    const KMDevice missing = detect(stick / "no-such-folder");
    EXPECT_FALSE(missing.runFromDevice());
    EXPECT_TRUE(missing.bsdName().empty());

    auto sources = tree.sources();
    sources.mountInfo = tree.root() / "absent";
    const KMDevice noMounts(stick, sources);
    EXPECT_FALSE(noMounts.runFromDevice());
    const halvex::Result<KMDevice::Space> space = missing.getSizeForTotal();
    EXPECT_FALSE(space);
    EXPECT_EQ(space.systemError(), ENOENT);
}

TEST_F(KMDeviceTest, AssumedDriveCoversOnlyTheRunPath)
{
    const fs::path run = tree.root() / "home" / "Trial Drive";
    fs::create_directories(run / "Halvex Data");
    auto sources = tree.sources();
    sources.assumedDriveRoot = run;

    const KMDevice assumed(run / "Halvex Data", sources);
    EXPECT_TRUE(assumed.isAssumed());
    EXPECT_TRUE(assumed.runFromDevice());
    EXPECT_TRUE(assumed.isHalvexDrive());
    EXPECT_EQ(assumed.vendorID(), KMDevice::sVendorID.front());
    EXPECT_EQ(assumed.mountPath(), run);
    EXPECT_EQ(assumed.volumeName(), "Trial Drive");
    const halvex::Result<KMDevice::Space> space = assumed.getSizeForTotal();
    ASSERT_TRUE(space);
    EXPECT_GT(space.value().total, 0u);
    EXPECT_EQ(space.value().used + space.value().free, space.value().total);

    // A sibling whose name starts the same is another folder of the computer.
    fs::create_directories(tree.root() / "home" / "Trial Drive 2");
    const KMDevice sibling(tree.root() / "home" / "Trial Drive 2", sources);
    EXPECT_FALSE(sibling.isAssumed());
    EXPECT_FALSE(sibling.runFromDevice());
}

TEST_F(KMDeviceTest, EnvironmentOverridesTheSources)
{
    {
        ScopedEnv sysfs("HALVEX_SYSFS_ROOT", "/x/sys");
        ScopedEnv mounts("HALVEX_MOUNTINFO", "/x/mountinfo");
        ScopedEnv labels("HALVEX_DISK_BY_LABEL", "/x/by-label");
        ScopedEnv uuids("HALVEX_DISK_BY_UUID", "/x/by-uuid");
        ScopedEnv assume("HALVEX_ASSUME_USB", "1");
        const auto sources = halvex::DeviceSources::FromEnvironment("/run/here");
        EXPECT_EQ(sources.sysfsRoot, "/x/sys");
        EXPECT_EQ(sources.mountInfo, "/x/mountinfo");
        EXPECT_EQ(sources.diskByLabel, "/x/by-label");
        EXPECT_EQ(sources.diskByUuid, "/x/by-uuid");
        EXPECT_EQ(sources.assumedDriveRoot, "/run/here");
    }
    ScopedEnv assume("HALVEX_ASSUME_USB", "yes");
    EXPECT_TRUE(halvex::DeviceSources::FromEnvironment("/run/here").assumedDriveRoot.empty());
    EXPECT_EQ(halvex::DeviceSources::FromEnvironment().sysfsRoot, "/sys");
}

TEST(KMDeviceSizeText, FollowsTheSizeRule)
{
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1536, "2 KB"},
        {1048575, "1024 KB"},
        {1048576, "1.0 MB"},
        {1610612736, "1.50 GB"},
        {1099511627776ull, "1.00 TB"},
        {18446744073709551615ull, "16.00 EB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(KMDevice::stringFromFileSize(bytes), text) << bytes;
}

TEST(KMDeviceSizes, RealFileSystemGivesConsistentCounts)
{
    const KMDevice device(fs::temp_directory_path(), halvex::DeviceSources{});
    const halvex::Result<KMDevice::Space> space = device.getSizeForTotal();
    ASSERT_TRUE(space);
    EXPECT_EQ(space.value().used + space.value().free, space.value().total);
    const halvex::Result<KMDevice::SpaceText> text = device.getSizeStringForTotal();
    ASSERT_TRUE(text);
    EXPECT_EQ(text.value().total, KMDevice::stringFromFileSize(space.value().total));
    EXPECT_GT(device.allocationBlockSize(), 0u);
}

}  // namespace
