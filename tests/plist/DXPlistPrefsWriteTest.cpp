#include "plist/DXPlistPrefs.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "PlistTestSupport.h"
#include "TestFiles.h"

using halvex::test::PlistWith;
using PrefsValue = DXPlistPrefs::PrefsValue;

namespace {

using halvex::test::ReadFile;
using halvex::test::WriteFile;

class DXPlistPrefsWrite : public ::testing::Test {
protected:
    halvex::test::TempFolder m_folder{"plist"};
};

TEST_F(DXPlistPrefsWrite, DocumentLayoutAndByteOrderOfKeys)
{
    DXPlistPrefs prefs;
    prefs.SetValue("eula", true);
    prefs.SetValue("Path", "C:\\Temp");
    EXPECT_EQ(prefs.ToText(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
              "<plist version=\"1.0\">\n"
              "    <dict>\n"
              "        <key>Path</key>\n"
              "        <string>C:\\Temp</string>\n"
              "        <key>eula</key>\n"
              "        <true />\n"
              "    </dict>\n"
              "</plist>\n");

    // Bytes, not letters: upper case, then "_", then lower case, then UTF-8.
    DXPlistPrefs order;
    for (const char* key : {"\xC3\xA9t\xC3\xA9", "b", "_x", "Z", "a", "B"})
        order.SetValue(key, 1);
    std::vector<std::string> keys;
    for (const auto& [key, value] : order.Values())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "Z", "_x", "a", "b", "\xC3\xA9t\xC3\xA9"}));
    const std::string text = order.ToText();
    EXPECT_LT(text.find("<key>Z</key>"), text.find("<key>a</key>"));
    EXPECT_LT(text.find("<key>b</key>"), text.find("<key>\xC3\xA9t\xC3\xA9</key>"));
}

TEST_F(DXPlistPrefsWrite, NumbersPrintAsTheOtherBuildsPrintThem)
{
    DXPlistPrefs prefs;
    prefs.SetValue("half", 0.5);
    prefs.SetValue("big", 1e20);
    prefs.SetValue("neg", -7);
    prefs.SetValue("huge", 5000000000L);  // held to 32 bits
    const std::string text = prefs.ToText();
    EXPECT_NE(text.find("<real>0.500000</real>"), std::string::npos);
    EXPECT_NE(text.find("<real>100000000000000000000.000000</real>"), std::string::npos);
    EXPECT_NE(text.find("<integer>-7</integer>"), std::string::npos);
    EXPECT_NE(text.find("<integer>2147483647</integer>"), std::string::npos);

    DXPlistPrefs read;
    ASSERT_TRUE(read.LoadText(text));
    double half = 0;
    EXPECT_TRUE(read.GetValue("half", half, 0.0));
    EXPECT_EQ(half, 0.5);
}

TEST_F(DXPlistPrefsWrite, CommentFollowsTheDeclarationAndStaysWellFormed)
{
    DXPlistPrefs prefs;
    prefs.SetValue("a", true);
    prefs.SetComment("made by -- tests-");
    const std::string text = prefs.ToText();
    EXPECT_EQ(text.find("<!--made by - - tests-->\n<plist"), text.find('\n') + 1);
    EXPECT_TRUE(DXPlistPrefs().LoadText(text));

    prefs.SetComment(std::string(300, 'c'));
    EXPECT_EQ(prefs.GetComment().size(), DXPlistPrefs::kMaxCommentBytes);
    prefs.SetComment("");
    EXPECT_EQ(prefs.ToText().find("<!--"), std::string::npos);
}

TEST_F(DXPlistPrefsWrite, ArrayIsWrittenOnlyWithItsArrayTypedValue)
{
    DXPlistPrefs prefs;
    prefs.SetArrayValue("list", "one");
    EXPECT_EQ(prefs.GetArrayCount("list"), 1u);
    EXPECT_EQ(prefs.ToText().find("<key>list</key>"), std::string::npos);

    prefs.SetArrayKey("list");
    prefs.SetArrayValue("list", 2);
    prefs.SetArrayValue("list", 0.5);
    prefs.SetArrayValue("list", false);
    DXPlistPrefs read;
    ASSERT_TRUE(read.LoadText(prefs.ToText()));
    ASSERT_EQ(read.GetArrayCount("list"), 4u);
    long two = 0;
    double half = 0;
    bool no = true;
    std::string one;
    EXPECT_TRUE(read.GetArrayValue("list", 0, one, ""));
    EXPECT_TRUE(read.GetArrayValue("list", 1, two, 0L));
    EXPECT_TRUE(read.GetArrayValue("list", 2, half, 0.0));
    EXPECT_TRUE(read.GetArrayValue("list", 3, no, true));
    EXPECT_FALSE(read.GetArrayValue("list", 0, two, 9L));  // another type is missing
    EXPECT_EQ(two, 9);

    // An array-typed value without entries writes an empty array; SetValue
    // over it leaves the array map alone.
    read.RemoveArray("list");
    EXPECT_NE(read.ToText().find("<array />"), std::string::npos);
    prefs.SetValue("list", true);
    EXPECT_EQ(prefs.GetArrayCount("list"), 4u);
}

TEST_F(DXPlistPrefsWrite, TwoStringsAndABooleanComeBackInOrder)
{
    DXPlistPrefs prefs;
    ASSERT_TRUE(prefs.LoadText(PlistWith("<key>arr</key><array><string>a</string><string>b</string><true/></array>")));
    const std::string text = prefs.ToText();
    const auto a = text.find("<string>a</string>");
    const auto b = text.find("<string>b</string>");
    const auto t = text.find("<true />");
    EXPECT_TRUE(a < b && b < t && t != std::string::npos) << text;
}

TEST_F(DXPlistPrefsWrite, RoundTripLosesNothing)
{
    const std::filesystem::path apple = std::filesystem::path(HALVEX_TEST_DATA) / "plist" / "apple.plist";
    DXPlistPrefs first(apple);
    first.SetFilePath(m_folder / "copy.plist");
    first.SetValue("Spaces", "  two  spaces\n\ttab &#x41; <b> ");
    ASSERT_TRUE(first.Update());

    DXPlistPrefs second(m_folder / "copy.plist");
    EXPECT_EQ(second.ToText(), first.ToText());
    std::string spaces;
    EXPECT_TRUE(second.GetValue("Spaces", spaces, ""));
    EXPECT_EQ(spaces, "  two  spaces\n\ttab &#x41; <b> ");
    // Unknown elements, also inside arrays, are written back as read.
    const std::string text = second.ToText();
    EXPECT_NE(text.find("<date>2026-03-01T10:20:30Z</date>"), std::string::npos);
    EXPECT_NE(text.find("<data>AAEC</data>"), std::string::npos);
    EXPECT_NE(text.find("<key>x</key>"), std::string::npos);
    ASSERT_TRUE(second.Update());
    EXPECT_EQ(ReadFile(m_folder / "copy.plist"), text);
}

TEST_F(DXPlistPrefsWrite, TextLimitsAreKeptOnSet)
{
    DXPlistPrefs prefs;
    prefs.SetValue("t", std::string(2045, 'a') + "\xE2\x82\xAC" + "more");  // a 3-byte euro sign at the cut
    prefs.SetValue("nul", std::string("before\0after", 12));
    std::string t;
    std::string nul;
    prefs.GetValue("t", t, "");
    prefs.GetValue("nul", nul, "");
    EXPECT_EQ(t, std::string(2045, 'a'));
    EXPECT_EQ(nul, "before");
}

TEST_F(DXPlistPrefsWrite, UpdateReplacesAtomicallyAndKeepsPermissionBits)
{
    const auto file = m_folder / "prefs.plist";
    WriteFile(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    DXPlistPrefs prefs;
    prefs.SetFilePath(file);
    prefs.SetValue("a", true);
    ASSERT_TRUE(prefs.Update());
    EXPECT_EQ(ReadFile(file), prefs.ToText());
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.path()), {}), 1);

    // A link is followed: the file it names is replaced, the link stays.
    std::filesystem::create_symlink(file, m_folder / "link.plist");
    prefs.SetFilePath(m_folder / "link.plist");
    prefs.SetValue("b", false);
    ASSERT_TRUE(prefs.Update());
    EXPECT_TRUE(std::filesystem::is_symlink(m_folder / "link.plist"));
    EXPECT_EQ(ReadFile(file), prefs.ToText());
}

TEST_F(DXPlistPrefsWrite, FailedUpdateKeepsMemoryAndTheOldFile)
{
    DXPlistPrefs prefs;
    prefs.SetValue("keep", true);
    for (const auto& bad : {m_folder / "missing" / "prefs.plist", m_folder.path(), std::filesystem::path()}) {
        prefs.SetFilePath(bad);
        const halvex::Status written = prefs.Update();
        EXPECT_FALSE(written) << bad;
        EXPECT_EQ(written.messageKey, "file_save_err") << bad;
    }
    bool keep = false;
    EXPECT_TRUE(prefs.GetValue("keep", keep, false));

    // A write that fails part way (the file-size limit stands in for a full
    // disk) leaves the old file whole and no temporary file behind.
    const auto file = m_folder / "prefs.plist";
    WriteFile(file, "old content");
    prefs.SetFilePath(file);
    prefs.SetValue("long", std::string(2000, 'x'));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const halvex::Status written = prefs.Update();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.messageKey, "file_save_err");
    EXPECT_EQ(written.systemError, EFBIG) << written.detail;
    EXPECT_EQ(ReadFile(file), "old content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.path()), {}), 1);
}

}  // namespace
