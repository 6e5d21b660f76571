#include "system/TrustedDrives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "SystemTestSupport.h"

namespace fs = std::filesystem;
using halvex::DriveIdentity;
using halvex::TrustedDrives;
using halvex::test::TempFolder;

namespace {

const DriveIdentity kStick{"090C", "1000", "AA01", "1A2B-3C4D", "STICK"};

std::string List(const std::string& lines)
{
    return std::string(TrustedDrives::kHeader) + "\n" + lines;
}

TEST(TrustedDrives, ParseAcceptsOnlyWholeValidLists)
{
    const struct {
        const char* name;
        std::string text;
        bool valid;
        std::size_t drives;
    } cases[] = {
        {"empty list", List(""), true, 0},
        {"two drives, comment, CRLF", List("# mine\r\n090C\t1000\tAA01\t\tA\r\n13FE\t4300\t\t1A2B\tB\n"), true, 2},
        {"nothing at all", "", false, 0},
        {"another header", "halvex-trusted-drives 2\n", false, 0},
        {"four fields", List("090C\t1000\tAA01\tA\n"), false, 0},
        {"six fields", List("090C\t1000\tAA01\tU\tA\textra\n"), false, 0},
        {"neither serial nor UUID", List("090C\t1000\t\t\tA\n"), false, 0},
        {"no vendor", List("\t1000\tAA01\tU\tA\n"), false, 0},
        {"control character", List("090C\t1000\tAA\x01\tU\tA\n"), false, 0},
        {"field too long", List("090C\t1000\t" + std::string(600, 'S') + "\tU\tA\n"), false, 0},
        {"a good line before a bad one", List("090C\t1000\tAA01\tU\tA\ngarbage\n"), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const halvex::Result<std::vector<DriveIdentity>> drives = TrustedDrives::Parse(c.text);
        EXPECT_EQ(drives.ok(), c.valid) << drives.detail();
        EXPECT_EQ(drives.ValueOr({}).size(), c.drives);
    }

    std::string many;
    for (std::size_t i = 0; i <= TrustedDrives::kMaxDrives; ++i)
        many += "090C\t1000\tS" + std::to_string(i) + "\t\tA\n";
    EXPECT_FALSE(TrustedDrives::Parse(List(many)));
}

TEST(TrustedDrives, SameDriveNeedsEveryIdentifierButNotTheLabel)
{
    EXPECT_TRUE(kStick.SameDrive({"090C", "1000", "AA01", "1A2B-3C4D", "RENAMED"}));
    EXPECT_FALSE(kStick.SameDrive({"090C", "1000", "AA02", "1A2B-3C4D", "STICK"}));
    EXPECT_FALSE(kStick.SameDrive({"090C", "1001", "AA01", "1A2B-3C4D", "STICK"}));
    EXPECT_FALSE(kStick.SameDrive({"13FE", "1000", "AA01", "1A2B-3C4D", "STICK"}));
    EXPECT_FALSE(kStick.SameDrive({"090C", "1000", "AA01", "FFFF-0000", "STICK"}));
}

TEST(TrustedDrives, TrustAndForgetWriteAPrivateFile)
{
    TempFolder folder("trust");
    const fs::path file = folder.path() / "config" / "halvex-dravane" / "trusted-drives";
    const mode_t oldMask = ::umask(0);  // even a permissive umask leaves others out
    const halvex::Status trusted = TrustedDrives(file).Trust(kStick);
    ::umask(oldMask);
    ASSERT_TRUE(trusted) << trusted.detail;
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    DriveIdentity renamed = kStick;
    renamed.label = "RENAMED";
    ASSERT_TRUE(TrustedDrives(file).Trust(renamed));
    ASSERT_TRUE(TrustedDrives(file).Trust({"090C", "1000", "BB02", "", "OTHER"}));
    TrustedDrives list(file);
    ASSERT_TRUE(list.Load());
    ASSERT_EQ(list.Drives().size(), 2u);
    EXPECT_EQ(list.Drives()[0].label, "RENAMED");
    EXPECT_TRUE(list.IsTrusted(kStick));

    const halvex::Result<bool> forgotten = list.Forget(kStick);
    ASSERT_TRUE(forgotten);
    EXPECT_TRUE(forgotten.value());
    const halvex::Result<bool> again = list.Forget(kStick);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again.value());
    ASSERT_TRUE(list.Load());
    EXPECT_FALSE(list.IsTrusted(kStick));
    EXPECT_EQ(list.Drives().size(), 1u);

    EXPECT_EQ(TrustedDrives(file).Trust({"090C", "1000", "", "", "NAMELESS"}).messageKey, "err_trust_not_distinct");
}

TEST(TrustedDrives, DamagedOrHugeFileTrustsNothingAndIsSetAsideOnTheNextWrite)
{
    TempFolder folder("trust");
    const fs::path file = folder.path() / "trusted-drives";
    for (const std::string& text :
         {List("090C\t1000\tAA01\t1A2B-3C4D\tSTICK\n\xff\xfe"), List(std::string(TrustedDrives::kMaxBytes, '#'))}) {
        halvex::test::WriteFile(file, text);
        TrustedDrives list(file);
        const halvex::Status loaded = list.Load();
        EXPECT_FALSE(loaded);
        EXPECT_EQ(loaded.messageKey, "err_trust_list_damaged");
        EXPECT_TRUE(list.Drives().empty());
        EXPECT_FALSE(list.IsTrusted(kStick));
    }
    ASSERT_TRUE(TrustedDrives(file).Trust(kStick));
    EXPECT_TRUE(fs::exists(folder.path() / "trusted-drives.damaged"));
    TrustedDrives list(file);
    ASSERT_TRUE(list.Load());
    EXPECT_EQ(list.Drives().size(), 1u);
}

}  // namespace
