// Binary property lists as Python's plistlib writes them, read wherever
// settings are read; files that cannot be read are moved aside, never
// written over.
#include "plist/BinaryPlist.h"

#include <gtest/gtest.h>

#include "ShellCommand.h"
#include "TestFiles.h"
#include "backup/BackupProfile.h"
#include "backup/BackupStrings.h"
#include "config/DriveConfiguration.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "sync/SyncFolderPair.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::test;

namespace {

// Writes `value` (a Python expression) with plistlib, binary or XML.
bool WritePlist(const fs::path& file, const std::string& value, bool binary = true)
{
    const std::string script =
        "import plistlib,sys,datetime\n"
        "open(sys.argv[1],'wb').write(plistlib.dumps(" +
        value + ", fmt=plistlib." + (binary ? "FMT_BINARY" : "FMT_XML") + "))\n";
    return RunShell("python3 -c " + ShellQuoted(script) + " " + ShellQuoted(file.string()) + " 2>&1").status == 0;
}

class BinaryPlistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunShell("command -v python3 >/dev/null").status != 0)
            GTEST_SKIP() << "python3 is not installed";
        DXPlistPrefs::TakeSetAsideFiles();  // an earlier test's notices
    }
    TempFolder tmp;
};

TEST_F(BinaryPlistTest, ReadsAsItsXmlTwinDoes)
{
    const std::string value =
        "{'Path': 'C:\\\\Temp', 'eula': True, 'off': False, 'count': -7, 'big': 2**40, 'small': 200,"
        " 'ratio': 1.5, 'name': 'caf\\u00e9 \\u65e5\\u672c \\U0001F600 <&>', 'list': ['a', 'b', True, 3],"
        " 'when': datetime.datetime(2026, 1, 2), 'nested': {'x': 'y'}, '': 'empty key'}";
    ASSERT_TRUE(WritePlist(tmp / "binary.plist", value));
    ASSERT_TRUE(WritePlist(tmp / "xml.plist", value, false));
    ASSERT_EQ(ReadFile(tmp / "binary.plist").substr(0, 8), "bplist00");
    const DXPlistPrefs binary(tmp / "binary.plist");
    const DXPlistPrefs xml(tmp / "xml.plist");
    EXPECT_EQ(binary.ToText(), xml.ToText());
    std::string text;
    EXPECT_TRUE(binary.GetValue("name", text, ""));
    EXPECT_EQ(text, "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 <&>");
    long number = 0;
    EXPECT_TRUE(binary.GetValue("count", number, 0));
    EXPECT_EQ(number, -7);
    EXPECT_EQ(binary.GetArrayCount("list"), 4u);
    EXPECT_TRUE(DXPlistPrefs::TakeSetAsideFiles().empty());
}

TEST_F(BinaryPlistTest, EveryKindOfSettingsFileReadsItsBinaryForm)
{
    // The suite's preferences.
    ASSERT_TRUE(WritePlist(tmp / "prefs.plist", "{'SyncLog': True, 'SyncSubfolders': False}"));
    KXAppPrefs::Clear();
    KXAppPrefs::AddSuitePreferences();
    KXAppPrefs::InitWithPath(tmp / "prefs.plist");
    EXPECT_TRUE(KXAppPrefs::Bool("SyncLog"));
    EXPECT_FALSE(KXAppPrefs::Bool("SyncSubfolders"));
    KXAppPrefs::Clear();

    // The drive's sync index, one entry per computer.
    ASSERT_TRUE(WritePlist(tmp / "index.plist", "{'computer-1': '/home/a/Documents', 'computer-2': '/srv/b'}"));
    EXPECT_EQ(ReadComputerFolder(tmp / "index.plist", "computer-2"), "/srv/b");

    // A backup profile.
    ASSERT_TRUE(
        WritePlist(tmp / "profile.plist", "{'BackupPath Path': '/home/a/Docs', 'BackupPath UserPath': 'Docs'}"));
    const Result<BackupProfile> profile = ReadProfileFile(tmp / "profile.plist", BackupStrings::BuiltIn());
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile.value().sourceFolder, "/home/a/Docs");
    EXPECT_EQ(profile.value().setName, "Docs");

    // The drive's configuration.
    fs::create_directories(tmp / "Resources");
    ASSERT_TRUE(WritePlist(tmp / "Resources" / "Configuration.plist",
                           "{'UpdateBaseURL': 'https://updates.example.org/d/', 'AcceptedVendorIDs': ['090C']}"));
    const DriveConfiguration configuration = DriveConfiguration::Load(tmp / "Resources");
    EXPECT_EQ(configuration.updateBaseUrl, "https://updates.example.org/d/");
    EXPECT_EQ(configuration.acceptedVendorIds, std::vector<std::string>{"090C"});

    // A save writes XML, as the other editions expect.
    DXPlistPrefs index(tmp / "index.plist");
    index.SetValue("computer-3", "/x");
    ASSERT_TRUE(index.Update().ok);
    EXPECT_EQ(ReadFile(tmp / "index.plist").substr(0, 5), "<?xml");
    EXPECT_EQ(ReadComputerFolder(tmp / "index.plist", "computer-1"), "/home/a/Documents") << "no entry lost";
}

TEST_F(BinaryPlistTest, ADamagedFileIsMovedAsideOnceAndNeverWrittenOver)
{
    const std::string xmlDamage = "<?xml version=\"1.0\"?><plist><dict><key>computer-1</key><string>/a";
    ASSERT_TRUE(WritePlist(tmp / "whole.plist", "{'computer-1': '/a', 'computer-2': '/b'}"));
    const std::string binary = ReadFile(tmp / "whole.plist");
    const struct {
        const char* what;
        std::string text;
        bool movedAside;
    } cases[] = {
        {"cut-off XML", xmlDamage, true},
        {"cut-off binary", binary.substr(0, binary.size() - 10), true},
        {"binary with a reference past its objects", binary.substr(0, binary.size() - 17) + std::string(17, '\x7f'),
         true},
        {"no property list", "just text", true},
        {"empty file", "", false},
        {"empty dictionary", DXPlistPrefs::kEmptyPlist, false},
    };
    for (const auto& c : cases) {
        const fs::path folder = tmp / "case";
        fs::remove_all(folder);
        fs::create_directories(folder);
        WriteFile(folder / "index.plist", c.text);
        DXPlistPrefs index(folder / "index.plist");
        const std::vector<fs::path> told = DXPlistPrefs::TakeSetAsideFiles();
        ASSERT_EQ(told.size(), c.movedAside ? 1u : 0u) << c.what;
        index.SetValue("computer-3", "/c");
        ASSERT_TRUE(index.Update().ok) << c.what;
        if (c.movedAside) {
            EXPECT_EQ(told[0].parent_path(), folder) << c.what;
            EXPECT_EQ(told[0].filename().string().rfind("index.plist.damaged-", 0), 0u) << told[0];
            EXPECT_EQ(ReadFile(told[0]), c.text) << c.what;
        }
        EXPECT_TRUE(DXPlistPrefs::TakeSetAsideFiles().empty()) << "told once: " << c.what;
        DXPlistPrefs again(folder / "index.plist");
        EXPECT_EQ(again.Values().size(), 1u) << c.what;
    }
}

TEST(BinaryPlistReader, HostileDocumentsAreRefused)
{
    // A hand-made document: header, objects, offset table, trailer.
    const auto document = [](const std::string& objects, const std::string& offsets, unsigned offsetSize,
                             unsigned refSize, std::uint64_t count, std::uint64_t top) {
        std::string data = "bplist00" + objects + offsets;
        std::string trailer(32, '\0');
        trailer[6] = static_cast<char>(offsetSize);
        trailer[7] = static_cast<char>(refSize);
        const std::uint64_t table = 8 + objects.size();
        for (int i = 0; i < 8; ++i) {
            trailer[8 + i] = static_cast<char>(count >> (56 - 8 * i));
            trailer[16 + i] = static_cast<char>(top >> (56 - 8 * i));
            trailer[24 + i] = static_cast<char>(table >> (56 - 8 * i));
        }
        return data + trailer;
    };
    // {"k": "v"}: dict at 8, "k" at 11, "v" at 13.
    const std::string good = document(std::string("\xD1\x01\x02\x51k\x51v", 7), "\x08\x0B\x0D", 1, 1, 3, 0);
    ASSERT_EQ(BinaryPlistToXml(good),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>k</key>"
              "<string>v</string></dict></plist>\n");
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"too short", "bplist00"},
        {"reference past the objects", document(std::string("\xD1\x01\x05\x51k\x51v", 7), "\x08\x0B\x0D", 1, 1, 3, 0)},
        {"offset into the trailer", document(std::string("\xD1\x01\x02\x51k\x51v", 7), "\x08\x0B\x7F", 1, 1, 3, 0)},
        {"top object past the count", document(std::string("\xD1\x01\x02\x51k\x51v", 7), "\x08\x0B\x0D", 1, 1, 3, 3)},
        {"more objects than the table holds",
         document(std::string("\xD1\x01\x02\x51k\x51v", 7), "\x08\x0B\x0D", 1, 1, 1000, 0)},
        {"string longer than the file", document(std::string("\xD1\x01\x02\x5Fk\x51v", 7), "\x08\x0B\x0D", 1, 1, 3, 0)},
        {"array holding itself", document(std::string("\xA1\x00", 2), "\x08", 1, 1, 1, 0)},
        {"key that is no string", document(std::string("\xD1\x00\x00", 3), "\x08", 1, 1, 1, 0)},
        {"offset size zero", document(std::string("\x09", 1), "\x08", 0, 1, 1, 0)},
        {"not a number", document(std::string("\x23\x7F\xF0\x00\x00\x00\x00\x00\x00", 9), "\x08", 1, 1, 1, 0)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(BinaryPlistToXml(c.data)) << c.what;
}

}  // namespace
