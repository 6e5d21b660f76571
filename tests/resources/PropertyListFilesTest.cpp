#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ResourceFiles.h"
#include "ShellCommand.h"

using namespace halvex::test;

namespace {

bool HavePython()
{
    return std::system("python3 -c pass >/dev/null 2>&1") == 0;
}

// Loads the file with Python's plistlib and prints "key<TAB>type<TAB>value"
// per entry (line breaks in values as \n), so the test sees what an
// independent reader makes of it.
bool LoadWithPlistlib(const std::filesystem::path& path,
                      std::map<std::string, std::pair<std::string, std::string>>& out, std::string& error)
{
    const std::string script =
        "import plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "assert isinstance(d,dict)\n"
        "for k,v in d.items():\n"
        "  t=type(v).__name__\n"
        "  print(k+'\\t'+t+'\\t'+str(v).replace('\\\\','\\\\\\\\').replace('\\n','\\\\n'))\n";
    const std::string command = "python3 -c \"$HALVEX_PLIST_SCRIPT\" '" + path.string() + "' 2>&1";
    setenv("HALVEX_PLIST_SCRIPT", script.c_str(), 1);
    const halvex::test::ShellOutput run = halvex::test::RunShell(command);
    if (run.status != 0) {
        error = run.out.empty() ? "cannot run python3" : run.out;
        return false;
    }
    std::istringstream in(run.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t a = line.find('\t');
        const size_t b = line.find('\t', a + 1);
        if (a == std::string::npos || b == std::string::npos)
            continue;
        out[line.substr(0, a)] = {line.substr(a + 1, b - a - 1), line.substr(b + 1)};
    }
    return true;
}

// The suite's writer keeps the keys in byte order and the readers of the
// other builds take files in that shape; ours are written the same way.
std::vector<std::string> KeysInFileOrder(const std::string& text)
{
    std::vector<std::string> keys;
    static const std::regex key("<key>([^<]*)</key>");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), key); it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1].str());
    return keys;
}

void ExpectPropertyListShape(const std::filesystem::path& path)
{
    const auto text = ReadWholeFile(path);
    ASSERT_TRUE(text.has_value()) << path;
    EXPECT_TRUE(text->starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"")) << path;
    EXPECT_NE(text->find("<plist version=\"1.0\">"), std::string::npos) << path;
    EXPECT_FALSE(FirstInvalidUtf8(*text).has_value()) << path;
    const auto keys = KeysInFileOrder(*text);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << path << ": keys not in byte order";
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size()) << path << ": a key twice";
}

}  // namespace

TEST(ThemeFile, HoldsTheColoursAndOptions)
{
    const auto path = ResourcesDir() / "Win_Gui.plist";
    ExpectPropertyListShape(path);
    if (!HavePython())
        GTEST_SKIP() << "python3 is not installed";
    std::map<std::string, std::pair<std::string, std::string>> values;
    std::string error;
    ASSERT_TRUE(LoadWithPlistlib(path, values, error)) << error;
    static const std::regex colour("([0-9]{1,3}),([0-9]{1,3}),([0-9]{1,3})");
    for (const char* key : {"WindowFrameLight", "WindowFrameMid", "WindowFrameDark", "UsbRGB", "LocalRGB"}) {
        ASSERT_EQ(values.count(key), 1u) << key;
        EXPECT_EQ(values[key].first, "str") << key;
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(values[key].second, parts, colour)) << key << " = " << values[key].second;
        for (int i = 1; i <= 3; ++i)
            EXPECT_LE(std::stoi(parts[i].str()), 255) << key;
    }
    EXPECT_EQ(values["UsbRGB"].second, "127,0,0");
    EXPECT_EQ(values["LocalRGB"].second, "0,0,200");
    for (const char* key : {"WindowShadow", "Leopard"})
        EXPECT_EQ(values[key].first, "bool") << key;
}

TEST(BackupStringTable, EveryLanguageHasTheWholeTable)
{
    const bool python = HavePython();
    std::map<std::string, std::set<std::string>> keysByLanguage;
    std::map<std::string, std::pair<std::string, std::string>> english;  // English comes first
    for (const auto& folder : kLanguageFolders) {
        const auto path = LanguageDir(folder) / "BackupRestore.plist";
        SCOPED_TRACE(folder);
        ExpectPropertyListShape(path);
        if (!python)
            continue;
        std::map<std::string, std::pair<std::string, std::string>> values;
        std::string error;
        ASSERT_TRUE(LoadWithPlistlib(path, values, error)) << error;
        if (folder == "English")
            english = values;
        for (const auto& [key, value] : values) {
            EXPECT_EQ(value.first, "str") << key;
            keysByLanguage[folder].insert(key);
        }
        // The numbers the backup windows and engine show.
        for (int n : {0,  1,  2,  3,  11, 12, 13, 14, 15, 28, 29, 31, 32, 36, 37, 38, 39,
                      41, 46, 49, 50, 52, 53, 54, 55, 60, 61, 62, 63, 64, 65, 66, 67})
            EXPECT_EQ(values.count("Message" + std::to_string(n)), 1u) << n;
        for (int n = 0; n <= 29; ++n)
            EXPECT_EQ(values.count("Line" + std::to_string(n)), 1u) << n;
        // The extension lists and the restore folder's name are data, the same
        // in every language.
        for (int n = 0; n <= 4; ++n)
            EXPECT_EQ(values["Line" + std::to_string(n)].second, english["Line" + std::to_string(n)].second) << n;
        // The error texts are pieced together around paths, and the code adds
        // the closing double quote itself: the pieces must carry theirs.
        for (int n : {42, 43, 44, 45, 47})
            EXPECT_NE(values["Message" + std::to_string(n)].second.find('"'), std::string::npos) << n;
        // A sentence ends with one full stop; three are an ellipsis.
        for (const auto& [key, value] : values) {
            const std::string& text = value.second;
            EXPECT_FALSE(text.ends_with("..") && !text.ends_with("...")) << key << ": " << text;
        }
        // An explanation belongs to a message.
        for (const auto& [key, value] : values) {
            if (key.starts_with("e")) {
                EXPECT_EQ(values.count("Message" + key.substr(1)), 1u) << key;
            }
        }
        if (folder != "English" && folder != "en_GB") {
            size_t same = 0;
            for (const auto& [key, value] : values)
                same += english.count(key) && english[key].second == value.second;
            EXPECT_LE(same, values.size() / 10) << same << " texts are the English ones";
        }
    }
    if (!python)
        GTEST_SKIP() << "python3 is not installed";
    ASSERT_TRUE(keysByLanguage.count("English"));
    for (const auto& [folder, keys] : keysByLanguage)
        EXPECT_EQ(keys, keysByLanguage["English"]) << folder;
}
