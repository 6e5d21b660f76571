#include "app/main/MountNotifier.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestFiles.h"

namespace fs = std::filesystem;

TEST(MountNotifier, NoticesAReplacedMountTableOnItsFallbackTimer)
{
    const halvex::test::TempFolder folder("mounts");
    const fs::path table = folder / "mountinfo";
    halvex::test::WriteFile(table, "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
    MountNotifier watcher(QString::fromStdString(table.string()), nullptr, 20);
    QSignalSpy changed(&watcher, &MountNotifier::mountsChanged);
    QTest::qWait(80);  // four fallback ticks, for a report that must not come
    EXPECT_EQ(changed.count(), 0) << "nothing changed yet";

    const fs::path next = table.string() + ".new";
    halvex::test::WriteFile(next,
                            "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 8:17 / /media/STICK rw - vfat /dev/sdb1 rw\n");
    fs::rename(next, table);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() == 1; }, 2000)) << changed.count();
    QTest::qWait(80);  // four more ticks, for a second report that must not come
    EXPECT_EQ(changed.count(), 1) << "one change is reported once";
}
