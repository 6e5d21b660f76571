#include "plist/DXPlistPrefs.h"

#include <gtest/gtest.h>

#include <climits>

#include "PlistTestSupport.h"

using halvex::test::PlistWith;
using PrefsValue = DXPlistPrefs::PrefsValue;

namespace {

const std::filesystem::path kData = std::filesystem::path(HALVEX_TEST_DATA) / "plist";

struct ScalarCase {
    const char* element;
    std::int32_t type;
    long integer;
    double real;
};

// How each value element reads: the leading-number rules of the other builds.
TEST(DXPlistPrefsLoad, ValueElementsReadByTheirRules)
{
    const ScalarCase cases[] = {
        {"<integer>-7</integer>", PrefsValue::kInteger, -7, 0},
        {"<integer>2.9</integer>", PrefsValue::kInteger, 2, 0},
        {"<integer>12abc</integer>", PrefsValue::kInteger, 12, 0},
        {"<integer>abc</integer>", PrefsValue::kInteger, 0, 0},
        {"<integer></integer>", PrefsValue::kInteger, 0, 0},
        {"<integer> +42</integer>", PrefsValue::kInteger, 42, 0},
        {"<integer>99999999999</integer>", PrefsValue::kInteger, INT32_MAX, 0},
        {"<integer>-99999999999</integer>", PrefsValue::kInteger, INT32_MIN, 0},
        {"<real>1.5</real>", PrefsValue::kReal, 0, 1.5},
        {"<real>2.5e2x</real>", PrefsValue::kReal, 0, 250.0},
        {"<real>-0.125</real>", PrefsValue::kReal, 0, -0.125},
        {"<real>none</real>", PrefsValue::kReal, 0, 0.0},
        {"<real>7</real>", PrefsValue::kReal, 0, 7.0},
    };
    for (const ScalarCase& c : cases) {
        SCOPED_TRACE(c.element);
        DXPlistPrefs prefs;
        ASSERT_TRUE(prefs.LoadText(PlistWith(std::string("<key>k</key>") + c.element)));
        PrefsValue value;
        ASSERT_TRUE(prefs.FindValue("k", value));
        EXPECT_EQ(value.type, c.type);
        if (c.type == PrefsValue::kInteger)
            EXPECT_EQ(value.nValue, c.integer);
        else
            EXPECT_DOUBLE_EQ(value.dValue, c.real);
    }
}

TEST(DXPlistPrefsLoad, AValueOfAnotherTypeIsMissing)
{
    DXPlistPrefs prefs;
    ASSERT_TRUE(
        prefs.LoadText(PlistWith("<key>flag</key><true/><key>when</key><date>2026-01-01T00:00:00Z</date>"
                                 "<key>text</key><string>yes</string>")));
    bool flag = false;
    EXPECT_TRUE(prefs.GetValue("flag", flag, false));
    EXPECT_TRUE(flag);
    std::string text;
    EXPECT_FALSE(prefs.GetValue("flag", text, "default"));
    EXPECT_EQ(text, "default");
    bool fromText = false;
    EXPECT_FALSE(prefs.GetValue("text", fromText, true));
    EXPECT_TRUE(fromText);

    // An unknown element is kept but reads as no value of any type.
    PrefsValue when;
    ASSERT_TRUE(prefs.FindValue("when", when));
    EXPECT_EQ(when.type, PrefsValue::kUnknown);
    long number = 0;
    double real = 0;
    EXPECT_FALSE(prefs.GetValue("when", number, 5L));
    EXPECT_FALSE(prefs.GetValue("when", real, 0.5));
    EXPECT_FALSE(prefs.GetValue("when", text, "d"));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(real, 0.5);
}

TEST(DXPlistPrefsLoad, DictWalkRules)
{
    DXPlistPrefs prefs;
    // A stray element before a key is skipped, a later duplicate key wins,
    // a key without text is the empty name, and a key at the end without a
    // value ends the walk.
    ASSERT_TRUE(
        prefs.LoadText(PlistWith("<string>stray</string>"
                                 "<key>a</key><integer>1</integer>"
                                 "<key>a</key><integer>2</integer>"
                                 "<key/><string>nameless</string>"
                                 "<key>last</key>")));
    long a = 0;
    EXPECT_TRUE(prefs.GetValue("a", a, 0L));
    EXPECT_EQ(a, 2);
    std::string nameless;
    EXPECT_TRUE(prefs.GetValue("", nameless, ""));
    EXPECT_EQ(nameless, "nameless");
    PrefsValue last;
    EXPECT_FALSE(prefs.FindValue("last", last));
    EXPECT_FALSE(prefs.FindValue("stray", last));
    EXPECT_EQ(prefs.Values().size(), 2u);
}

TEST(DXPlistPrefsLoad, ElementNamesAreCaseSensitive)
{
    DXPlistPrefs prefs;
    EXPECT_FALSE(prefs.LoadText("<PLIST><dict><key>a</key><true/></dict></PLIST>"));
    ASSERT_TRUE(prefs.LoadText(PlistWith("<key>a</key><TRUE/><Key>b</Key><true/>")));
    PrefsValue a;
    ASSERT_TRUE(prefs.FindValue("a", a));
    EXPECT_EQ(a.type, PrefsValue::kUnknown);
    EXPECT_EQ(prefs.Values().size(), 1u);
}

TEST(DXPlistPrefsLoad, NothingToReadGivesFalseAndDefaults)
{
    DXPlistPrefs prefs;
    EXPECT_FALSE(prefs.LoadText(DXPlistPrefs::kEmptyPlist));
    EXPECT_FALSE(prefs.LoadText(""));
    EXPECT_FALSE(prefs.LoadText("<?xml version=\"1.0\"?><root><dict><key>a</key><true/></dict></root>"));
    EXPECT_FALSE(prefs.LoadText("<plist version=\"1.0\"><array/></plist>"));
    bool value = true;
    EXPECT_FALSE(prefs.GetValue("a", value, false));
    EXPECT_FALSE(value);
    EXPECT_TRUE(prefs.Values().empty());
}

TEST(DXPlistPrefsLoad, DamagedFilesLeaveTheStoreEmpty)
{
    for (const char* name : {"garbage.plist", "truncated.plist", "empty-dict.plist", "missing.plist"}) {
        SCOPED_TRACE(name);
        DXPlistPrefs prefs(kData / name);
        EXPECT_TRUE(prefs.Values().empty());
        EXPECT_FALSE(prefs.Load());
        long number = 0;
        EXPECT_FALSE(prefs.GetValue("Size", number, 3L));
        EXPECT_EQ(number, 3);
    }
    DXPlistPrefs folder(kData);
    EXPECT_FALSE(folder.Load());
}

TEST(DXPlistPrefsLoad, AFailedReloadEmptiesWhatAnEarlierLoadRead)
{
    DXPlistPrefs prefs;
    ASSERT_TRUE(prefs.LoadText(PlistWith("<key>a</key><array><true/></array>")));
    EXPECT_EQ(prefs.GetArrayCount("a"), 1u);
    EXPECT_FALSE(prefs.LoadText("<plist><dict>"));
    EXPECT_TRUE(prefs.Values().empty());
    EXPECT_EQ(prefs.GetArrayCount("a"), 0u);
}

TEST(DXPlistPrefsLoad, ReadsAFileOfAnotherPlistWriter)
{
    DXPlistPrefs prefs(kData / "apple.plist");
    ASSERT_FALSE(prefs.Values().empty());
    bool flag = true;
    EXPECT_TRUE(prefs.GetValue("AskAutoRun", flag, true));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(prefs.GetValue("ShowMain", flag, false));
    EXPECT_TRUE(flag);
    std::string name;
    EXPECT_TRUE(prefs.GetValue("Name", name, ""));
    EXPECT_EQ(name, "Caf\xC3\xA9 & Bar");
    long size = 0;
    EXPECT_TRUE(prefs.GetValue("Size", size, 0L));
    EXPECT_EQ(size, 4096);
    double ratio = 0;
    EXPECT_TRUE(prefs.GetValue("Ratio", ratio, 0.0));
    EXPECT_EQ(ratio, 0.25);

    ASSERT_EQ(prefs.GetArrayCount("Recent"), 4u);
    std::string first;
    long second = 0;
    bool third = false;
    EXPECT_TRUE(prefs.GetArrayValue("Recent", 0, first, ""));
    EXPECT_TRUE(prefs.GetArrayValue("Recent", 1, second, 0L));
    EXPECT_TRUE(prefs.GetArrayValue("Recent", 2, third, false));
    EXPECT_EQ(first, "one");
    EXPECT_EQ(second, 2);
    EXPECT_TRUE(third);
    PrefsValue nested;
    ASSERT_TRUE(prefs.FindArrayValue("Recent", 3, nested));
    EXPECT_EQ(nested.type, PrefsValue::kUnknown);
    EXPECT_FALSE(prefs.FindArrayValue("Recent", 4, nested));
    EXPECT_FALSE(prefs.GetArrayValue("Recent", 9, first, "d"));
    EXPECT_EQ(first, "d");
}

TEST(DXPlistPrefsLoad, TextKeepsItsWhiteSpaceAndLineEnds)
{
    DXPlistPrefs prefs;
    // Written on Windows: "\r\n" line ends, also inside a value.
    ASSERT_TRUE(
        prefs.LoadText("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<plist version=\"1.0\">\r\n"
                       "<dict>\r\n<key>Folder</key>\r\n<string>  My  Folder\r\nline two </string>\r\n"
                       "</dict>\r\n</plist>\r\n"));
    std::string folder;
    EXPECT_TRUE(prefs.GetValue("Folder", folder, ""));
    EXPECT_EQ(folder, "  My  Folder\nline two ");
}

TEST(DXPlistPrefsLoad, OverlongTextIsCutAtACharacterBoundary)
{
    // 2046 ASCII bytes and a two-byte character that would end past 2047.
    const std::string text = std::string(2046, 'a') + "\xC3\xA9" + "tail";
    DXPlistPrefs prefs;
    ASSERT_TRUE(prefs.LoadText(PlistWith("<key>t</key><string>" + text + "</string>")));
    std::string read;
    ASSERT_TRUE(prefs.GetValue("t", read, ""));
    EXPECT_EQ(read, std::string(2046, 'a'));
}

TEST(DXPlistPrefsLoad, HostileInputIsRefusedNotParsed)
{
    std::string deep;
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    DXPlistPrefs prefs;
    EXPECT_FALSE(prefs.LoadText(PlistWith("<key>k</key>" + deep)));
    EXPECT_FALSE(prefs.LoadText(PlistWith("<key>k</key><array>" + deep)));

    std::string large = PlistWith("<key>k</key><true/><!--" + std::string(DXPlistPrefs::kMaxFileBytes, 'x') + "-->");
    EXPECT_FALSE(prefs.LoadText(large));
}

}  // namespace
