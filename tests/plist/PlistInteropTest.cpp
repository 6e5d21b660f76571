#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "TestFiles.h"
#include "ShellCommand.h"
#include "plist/DXPlistPrefs.h"

namespace {

using halvex::test::ReadFile;

class PlistInterop : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const bool available = std::system("python3 -c 'import plistlib' >/dev/null 2>&1") == 0;
        if (!available)
            GTEST_SKIP() << "python3 with plistlib is not available";
    }

    // Runs a Python snippet with the file path as argv[1]; returns its output.
    static std::string Python(const std::string& script, const std::filesystem::path& file)
    {
        const std::string command = "python3 -c \"" + script + "\" '" + file.string() + "' 2>&1";
        return halvex::test::RunShell(command).out;
    }

    halvex::test::TempFolder m_folder{"plist"};
};

TEST_F(PlistInterop, PythonReadsWhatWeWrite)
{
    DXPlistPrefs prefs;
    prefs.SetFilePath(m_folder / "ours.plist");
    prefs.SetComment("written by the tests");
    prefs.SetValue("Path", "/media/USB/My  Files & <more>");
    prefs.SetValue("eula", true);
    prefs.SetValue("off", false);
    prefs.SetValue("n", -7);
    prefs.SetValue("r", 1.5);
    prefs.SetValue("name", "Caf\xC3\xA9\n\t");
    prefs.SetArrayKey("list");
    prefs.SetArrayValue("list", "a");
    prefs.SetArrayValue("list", 2);
    prefs.SetArrayValue("list", true);
    ASSERT_TRUE(prefs.Update());

    EXPECT_EQ(Python("import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); "
                     "print(sorted(d.items()))",
                     m_folder / "ours.plist"),
              "[('Path', '/media/USB/My  Files & <more>'), ('eula', True), ('list', ['a', 2, True]), "
              "('n', -7), ('name', 'Caf\xC3\xA9\\n\\t'), ('off', False), ('r', 1.5)]\n");
}

TEST_F(PlistInterop, WeReadWhatPythonWrites)
{
    const std::string output = Python(
        "import plistlib,sys,datetime; plistlib.dump({'ShowMain': True, 'SyncLog': False, "
        "'Count': 12, 'Ratio': 0.75, 'Folder': 'C:/Users/x  y', 'When': datetime.datetime(2026,1,2), "
        "'List': ['p', 3]}, open(sys.argv[1],'wb'))",
        m_folder / "python.plist");
    ASSERT_EQ(output, "");
    const std::string text = ReadFile(m_folder / "python.plist");
    ASSERT_NE(text.find("<!DOCTYPE"), std::string::npos);
    ASSERT_NE(text.find('\t'), std::string::npos);

    DXPlistPrefs prefs(m_folder / "python.plist");
    bool showMain = false;
    bool syncLog = true;
    long count = 0;
    double ratio = 0;
    std::string folder;
    EXPECT_TRUE(prefs.GetValue("ShowMain", showMain, false));
    EXPECT_TRUE(prefs.GetValue("SyncLog", syncLog, true));
    EXPECT_TRUE(prefs.GetValue("Count", count, 0L));
    EXPECT_TRUE(prefs.GetValue("Ratio", ratio, 0.0));
    EXPECT_TRUE(prefs.GetValue("Folder", folder, ""));
    EXPECT_TRUE(showMain);
    EXPECT_FALSE(syncLog);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(ratio, 0.75);
    EXPECT_EQ(folder, "C:/Users/x  y");
    EXPECT_EQ(prefs.GetArrayCount("List"), 2u);

    // And the round trip through us keeps the date Python wrote.
    prefs.SetFilePath(m_folder / "again.plist");
    ASSERT_TRUE(prefs.Update());
    EXPECT_EQ(
        Python("import plistlib,sys; print(plistlib.load(open(sys.argv[1],'rb'))['When'])", m_folder / "again.plist"),
        "2026-01-02 00:00:00\n");
}

}  // namespace
