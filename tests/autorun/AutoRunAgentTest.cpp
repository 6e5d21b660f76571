// The agent's decision in-process: the drive is looked at again after the
// question, so a drive swapped in while the user was asked is not started.

#include "AutoRunAgent.h"

#include <gtest/gtest.h>

#include "FakeDriveTree.h"

namespace fs = std::filesystem;
using halvex::DriveAnswer;
using halvex::DriveIdentity;
using halvex::test::FakeDriveTree;

namespace {

const std::string kBus = "pci0000:00/0000:00:14.0/usb1";

TEST(AutoRunAgent, DriveSwappedWhileTheUserWasAskedIsNotStarted)
{
    enum class During { Nothing, OtherStickAtThePoint, Unmounted, LabelChanged };
    const struct {
        During during;
        bool started;
    } cases[] = {
        {During::Nothing, true},
        {During::OtherStickAtThePoint, false},
        {During::Unmounted, false},
        // The label is no part of a drive's identity.
        {During::LabelChanged, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.during));
        FakeDriveTree tree("swap");
        tree.usbDevice(kBus + "/1-1", "090c", "1000", "Halvex", "Stick", "AA01");
        tree.disk(kBus + "/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", true, {"sdb1"});
        tree.usbDevice(kBus + "/1-2", "090c", "1000", "Halvex", "Stick", "BB02");
        tree.disk(kBus + "/1-2/1-2:1.0/host1/target1:0:0/1:0:0:0/block/sdc", true, {"sdc1"});
        tree.label("STICK", "sdb1");
        tree.mountLine("/", "/dev/nvme0n1p2", "ext4", "259:2");
        const fs::path point = tree.mount("STICK", "/dev/sdb1", "vfat", "8:17");
        halvex::test::WriteFile(point / "HalvexDravane.app/Contents/Linux/HalvexDravane", "");

        std::vector<fs::path> launched;
        std::string asked;
        halvex::AutoRunAgent agent(
            tree.sources(), tree.root() / "trusted-drives",
            [&](const DriveIdentity& drive) {
                asked = drive.serial;
                if (c.during == During::OtherStickAtThePoint || c.during == During::Unmounted) {
                    halvex::test::WriteFile(tree.mountInfo(), "");
                    tree.mountLine("/", "/dev/nvme0n1p2", "ext4", "259:2");
                }
                if (c.during == During::OtherStickAtThePoint)
                    tree.mountLine(point.string(), "/dev/sdc1", "vfat", "8:33");
                if (c.during == During::LabelChanged) {
                    fs::remove(tree.byLabel() / "STICK");
                    tree.label("RENAMED", "sdb1");
                }
                return halvex::Result<DriveAnswer>::Ok(DriveAnswer::Start);
            },
            [&](const fs::path& application) {
                launched.push_back(application);
                return halvex::Status::Ok();
            },
            [](const std::string&) {});
        agent.DeviceDidMount({"8:17", point, "vfat", "/dev/sdb1"});

        EXPECT_EQ(asked, "AA01");
        EXPECT_EQ(launched.size(), c.started ? 1u : 0u);
    }
}

}  // namespace
