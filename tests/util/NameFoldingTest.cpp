#include "util/NameFolding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>

#include "FatVolume.h"
#include "TestFolder.h"

using halvex::FatNameProblem;
using halvex::FoldedName;
using halvex::FoldsCase;

TEST(FoldedName, NamesThatOneFatFileAnswersTo)
{
    const struct {
        const char* left;
        const char* right;
        bool same;
    } cases[] = {
        {"Report.txt", "report.txt", true},
        {"REPORT.TXT", "rEpOrT.txt", true},
        {"\xC3\xA9t\xC3\xA9.odt", "\xC3\x89T\xC3\x89.odt", true},  // été / ÉTÉ
        {"\xCF\x83\xCE\xB1", "\xCE\xA3\xCE\x91", true},            // σα / ΣΑ
        {"\xD0\xB4\xD0\xB0", "\xD0\x94\xD0\x90", true},            // да / ДА
        {"report.txt", "report.txt ", false},
        {"e.txt", "\xC3\xA9.txt", false},
        // Bytes that are not UTF-8 are kept, and the ASCII around them folds.
        {"a\xFF"
         "b",
         "A\xFF"
         "B",
         true},
        {"a\xFF", "a\xFE", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " | " + c.right);
        EXPECT_EQ(FoldedName(c.left) == FoldedName(c.right), c.same);
    }
}

TEST(FatNameProblem, NamesFatCannotHold)
{
    const std::string longest(255, 'a');
    const struct {
        std::string name;
        const char* problem;
    } cases[] = {
        {"report.txt", ""},
        {".hidden", ""},
        {"leading blank", ""},
        {" x", ""},
        {longest, ""},
        {longest + "a", "fat_name_too_long"},
        // 128 two-unit characters are 256 UTF-16 units.
        {[] {
             std::string s;
             for (int i = 0; i < 128; ++i)
                 s += "\xF0\x9F\x98\x80";
             return s;
         }(),
         "fat_name_too_long"},
        {"a:b", "fat_name_chars"},
        {"what?", "fat_name_chars"},
        {"x*y", "fat_name_chars"},
        {"<>", "fat_name_chars"},
        {"a|b", "fat_name_chars"},
        {"a\\b", "fat_name_chars"},
        {"say \"hi\"", "fat_name_chars"},
        {"tab\there", "fat_name_chars"},
        {"name.", "fat_name_trailing"},
        {"name ", "fat_name_trailing"},
        {"...", "fat_name_trailing"},
        {"bad\xC3", "fat_name_encoding"},
        {"\xC0\xAF", "fat_name_encoding"},  // an overlong '/'
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FatNameProblem(c.name), c.problem);
    }
}

class FoldsCaseTest : public TestFolder {
protected:
    // A mount table that puts the test folder's device on a mount of `type`.
    void MountTableSays(const char* type)
    {
        struct stat status {};
        ASSERT_EQ(::stat(Root().c_str(), &status), 0);
        const std::filesystem::path table = Root() / "mountinfo";
        std::ofstream(table) << "22 1 0:21 / /proc rw - proc proc rw\n"
                             << "45 27 " << major(status.st_dev) << ":" << minor(status.st_dev)
                             << " / /mnt/Some\\040Drive rw,relatime - " << type << " /dev/sdb1 rw\n";
        ::setenv("HALVEX_MOUNTINFO", table.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("HALVEX_MOUNTINFO");
        TestFolder::TearDown();
    }
};

TEST_F(FoldsCaseTest, AnEntryOfTheFolderWinsOverTheMountTable)
{
    MountTableSays("vfat");
    WriteFile(Root() / "Report.txt", "x");
    EXPECT_FALSE(FoldsCase(Root()));
}

TEST_F(FoldsCaseTest, AnEmptyFolderAsksTheMountTable)
{
    for (const char* type : {"vfat", "fuseblk", "fuse.fusefat", "ext4"}) {
        SCOPED_TRACE(type);
        MountTableSays(type);
        const std::filesystem::path empty = Root() / "empty";
        std::filesystem::create_directory(empty);
        EXPECT_EQ(FoldsCase(empty), std::string(type) != "ext4");
    }
}

class FoldsCaseOnFat : public ::testing::TestWithParam<halvex::test::FatKind> {};

TEST_P(FoldsCaseOnFat, WithAndWithoutAnEntry)
{
    halvex::test::FatVolume volume(GetParam());
    HALVEX_REQUIRE_FAT(volume);
    std::filesystem::create_directory(volume.path() / "empty");
    EXPECT_TRUE(FoldsCase(volume.path() / "empty"));
    halvex::test::WriteFile(volume.path() / "Report.txt", "x");
    EXPECT_TRUE(FoldsCase(volume.path()));
}

INSTANTIATE_TEST_SUITE_P(Fat, FoldsCaseOnFat,
                         ::testing::Values(halvex::test::FatKind::ExFat, halvex::test::FatKind::Fat32),
                         [](const auto& info) { return std::string(halvex::test::FatKindName(info.param)); });
