#include "strings/KXStrings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

halvex::LocaleEnvironment LangOnly(const char* lang)
{
    halvex::LocaleEnvironment env;
    env.lang = lang;
    return env;
}

}  // namespace

class KXStringsTest : public testing::Test {
protected:
    void SetUp() override
    {
        WriteTable("English",
                   "\"app_running\" = \"Halvex Dravane is already running.\";\n"
                   "\"sync_count\" = \"Copied %d of %d files to %s.\";\n"
                   "\"two_lines\" = \"First\\nSecond\";\n");
        WriteTable("fr_CA",
                   "\"app_running\" = \"Halvex Dravane est d\xC3\xA9j\xC3\xA0 ouvert.\";\n"
                   "\"sync_count\" = \"%d fichiers copi\xC3\xA9s vers %s%s%s.\";\n");
    }
    void WriteTable(const std::string& folder, const std::string& content)
    {
        halvex::test::WriteFile(m_res / (folder + ".lproj") / "Localizable.strings", content);
    }

    halvex::test::TempFolder m_temp{"res"};
    fs::path m_res = m_temp.path();
};

// Each language of the table, chosen from its locale, finds its own folder
// among the suite's resources; none falls back to English by accident.
TEST(KXStringsResources, EveryTableLanguageLoadsItsOwnFolder)
{
    const struct {
        const char* locale;
        halvex::LanguageId id;
        const char* folder;
    } cases[] = {
        {"en_US.UTF-8", 1033, "English"}, {"en_GB.UTF-8", 2057, "en_GB"}, {"fr_FR.UTF-8", 1036, "fr_FR"},
        {"fr_CA.UTF-8", 3084, "fr_CA"},   {"ja_JP.UTF-8", 1041, "ja"},    {"zh_TW.UTF-8", 1028, "zh_TW"},
        {"zh_CN.UTF-8", 2052, "zh_CN"},
    };
    const fs::path resources = fs::path(HALVEX_SOURCE_DIR) / "Resources";
    for (const auto& c : cases) {
        ASSERT_TRUE(KXStrings::Init(resources, LangOnly(c.locale))) << c.locale;
        EXPECT_EQ(KXStrings::Language(), c.id) << c.locale;
        EXPECT_EQ(KXStrings::LanguageFolderName(), c.folder) << c.locale;
        EXPECT_FALSE(KXStrings::GetString("main_window_title").empty()) << c.locale;
        EXPECT_TRUE(fs::is_regular_file(KXStrings::LicensePath())) << c.locale;
    }
}

TEST_F(KXStringsTest, PathsFollowTheChosenLanguage)
{
    KXStrings::SetResourcesPath(m_res);
    KXStrings::SetLanguage(3084);
    EXPECT_EQ(KXStrings::LanguageFolderName(), "fr_CA");
    EXPECT_EQ(KXStrings::LanguageFolderName(1041), "ja");
    EXPECT_EQ(KXStrings::LanguageFolderPath(), m_res / "fr_CA.lproj");
    EXPECT_EQ(KXStrings::StringTablePath(), m_res / "fr_CA.lproj" / "Localizable.strings");
    EXPECT_EQ(KXStrings::LicensePath(2052), m_res / "zh_CN.lproj" / "License.rtf");
    EXPECT_EQ(KXStrings::LanguageFolderName(1031), "");
}

TEST_F(KXStringsTest, FrenchCanadaLoadsItsOwnTable)
{
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("fr_CA.UTF-8")));
    EXPECT_EQ(KXStrings::Language(), 3084);
    EXPECT_EQ(KXStrings::GetString("app_running"), "Halvex Dravane est d\xC3\xA9j\xC3\xA0 ouvert.");
    EXPECT_EQ(KXStrings::GetString("two_lines"), "");  // missing here: empty, not English
}

TEST_F(KXStringsTest, SwissFrenchFallsBackToEnglish)
{
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("fr_CH.UTF-8")));
    EXPECT_EQ(KXStrings::Language(), halvex::kEnglishUS);
    EXPECT_EQ(KXStrings::GetString("app_running"), "Halvex Dravane is already running.");
    EXPECT_EQ(KXStrings::GetString("two_lines"), "First\nSecond");
}

TEST_F(KXStringsTest, LostLanguageFolderFallsBackToEnglish)
{
    // Japanese is in the language table, but this drive has no folder for it.
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("ja_JP.UTF-8")));
    EXPECT_EQ(KXStrings::Language(), halvex::kEnglishUS);
    EXPECT_EQ(KXStrings::LicensePath(), m_res / "English.lproj" / "License.rtf");
    EXPECT_EQ(KXStrings::GetString("app_running"), "Halvex Dravane is already running.");
}

TEST_F(KXStringsTest, NoReadableTableFailsAndEmptiesTheLookup)
{
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("en_US.UTF-8")));
    WriteTable("English", "/* emptied */\n");
    EXPECT_FALSE(KXStrings::Init(m_res, LangOnly("fr_CH")));
    EXPECT_EQ(KXStrings::GetString("app_running"), "");
    EXPECT_FALSE(KXStrings::HasString("app_running"));
    fs::remove_all(m_res / "English.lproj");
    EXPECT_FALSE(KXStrings::Init(m_res, LangOnly("ja_JP")));
}

TEST_F(KXStringsTest, FormatFillsTheLocalisedValueSafely)
{
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("C")));
    EXPECT_EQ(KXStrings::Format("sync_count", 3, 10, "/home/ana"), "Copied 3 of 10 files to /home/ana.");
    // An edited table that asks for more than the caller gives stays readable.
    ASSERT_TRUE(KXStrings::Init(m_res, LangOnly("fr_CA")));
    EXPECT_EQ(KXStrings::Format("sync_count", 3, 10, "/home/ana"), "3 fichiers copi\xC3\xA9s vers 10/home/ana%s.");
    EXPECT_EQ(KXStrings::Format("no_such_key", 1), "");
}
