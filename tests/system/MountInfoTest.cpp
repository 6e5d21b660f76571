#include "system/MountInfo.h"

#include <gtest/gtest.h>

#include "system/DiskLabels.h"

using namespace halvex;

namespace {

TEST(MountInfo, ParsesFieldsOptionalTagsAndEscapes)
{
    const auto entries = ParseMountInfo(
        "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
        "40 22 8:17 / /media/u/MY\\040STICK rw,nosuid shared:30 master:2 - vfat /dev/sdb1 rw,uid=1000\n"
        "41 22 0:45 / /tmp rw - tmpfs tmpfs rw\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].mountPoint, "/media/u/MY STICK");
    EXPECT_EQ(entries[1].majorMinor, "8:17");
    EXPECT_EQ(entries[1].fsType, "vfat");
    EXPECT_EQ(entries[1].source, "/dev/sdb1");
    EXPECT_EQ(entries[2].source, "tmpfs");
}

TEST(MountInfo, DecodesOnlyWellFormedOctalEscapes)
{
    EXPECT_EQ(DecodeMountField("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
    EXPECT_EQ(DecodeMountField("end\\04"), "end\\04");
    EXPECT_EQ(DecodeMountField("\\999"), "\\999");
    EXPECT_EQ(DecodeMountField("\\777"), "\\777");  // above a byte
    EXPECT_EQ(DecodeMountField("\\"), "\\");
}

TEST(MountInfo, SkipsDamagedLinesAndKeepsTheRest)
{
    const std::string good = "50 1 8:1 / /good rw - ext4 /dev/sda1 rw\n";
    const std::string text =
        "garbage\n"
        "1 2 3 4 5 6 7 8 9 10\n"                        // no separator
        "51 1 8:2 / relative rw - ext4 /dev/sda2 rw\n"  // not absolute
        "52 1 8:3 / /cut rw -\n"                        // cut after the separator
        "53 1 8:4 / /nul\\000x rw - ext4 /dev/sda4 rw\n" +
        std::string(70000, 'x') + "\n" + std::string("\0\0\n", 3) + good;
    const auto entries = ParseMountInfo(text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mountPoint, "/good");
}

TEST(MountInfo, LongestComponentPrefixWinsAndLaterMountsCover)
{
    const auto entries = ParseMountInfo(
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 8:17 / /mnt/a rw - vfat /dev/sdb1 rw\n"
        "3 1 8:33 / /mnt/ab rw - vfat /dev/sdc1 rw\n"
        "4 1 8:49 / /mnt/a rw - vfat /dev/sdd1 rw\n");
    struct Case {
        const char* path;
        const char* source;
    };
    for (const Case& c : {Case{"/mnt/a/x", "/dev/sdd1"}, Case{"/mnt/a", "/dev/sdd1"}, Case{"/mnt/ab/x", "/dev/sdc1"},
                          Case{"/mnt/abc", "/dev/sda1"}, Case{"/etc", "/dev/sda1"}, Case{"/mnt/a/", "/dev/sdd1"}}) {
        const MountEntry* entry = FindMountFor(entries, c.path);
        ASSERT_NE(entry, nullptr) << c.path;
        EXPECT_EQ(entry->source, c.source) << c.path;
    }
    EXPECT_EQ(FindMountFor(entries, "relative/path"), nullptr);
    EXPECT_EQ(FindMountFor({}, "/x"), nullptr);
}

TEST(DiskLabels, DecodesUdevEscapes)
{
    EXPECT_EQ(DecodeUdevEscapes("MY\\x20STICK"), "MY STICK");
    EXPECT_EQ(DecodeUdevEscapes("a\\x2fb"), "a/b");
    EXPECT_EQ(DecodeUdevEscapes("bad\\xZZ"), "bad\\xZZ");
    EXPECT_EQ(DecodeUdevEscapes("nul\\x00"), "nul\\x00");
    EXPECT_EQ(DecodeUdevEscapes("cut\\x2"), "cut\\x2");
}

}  // namespace
