#include "strings/KXTheme.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestFiles.h"

namespace fs = std::filesystem;

TEST(KXThemeColour, ReadsLikeScanfOfThreeNumbers)
{
    const struct {
        const char* text;
        std::optional<KXTheme::Colour> colour;
    } cases[] = {
        {"10,20,30", KXTheme::MakeColour(10, 20, 30)},
        {" 10, 20, 30", KXTheme::MakeColour(10, 20, 30)},
        {"+1,2,3 trailing", KXTheme::MakeColour(1, 2, 3)},
        {"255,255,255", KXTheme::kWhite},
        {"7", KXTheme::MakeColour(7, 0, 0)},
        {"7,8", KXTheme::MakeColour(7, 8, 0)},
        {"7,,9", KXTheme::MakeColour(7, 0, 0)},
        {"7 ,8,9", KXTheme::MakeColour(7, 0, 0)},  // a blank before the comma ends the match
        {"300,-4,99999999999999999999", KXTheme::MakeColour(255, 0, 255)},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"red", std::nullopt},
        {",1,2", std::nullopt},
        {"-", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KXTheme::ParseColour(c.text), c.colour) << '"' << c.text << '"';
    EXPECT_EQ(KXTheme::MakeColour(10, 20, 30), 0x1E140Au);  // red in the low byte
}

TEST(KXThemeFile, ReadsEveryKeyOfAThemeWrittenElsewhere)
{
    KXTheme theme;
    ASSERT_TRUE(theme.Load(HALVEX_TEST_DATA "/strings"));
    EXPECT_EQ(theme.GetColour(KXTheme::kFrameDark), 0x1E140Au);
    EXPECT_EQ(theme.GetColour(KXTheme::kFrameLight), KXTheme::MakeColour(240, 240, 240));
    EXPECT_EQ(theme.GetColour(KXTheme::kFrameMid), KXTheme::MakeColour(96, 0, 0));
    EXPECT_EQ(theme.GetColour("NoSuchColour"), KXTheme::kWhite);
    EXPECT_FALSE(theme.WindowShadow());
    EXPECT_FALSE(theme.Leopard());
    EXPECT_EQ(theme.UsbColour(), KXTheme::MakeColour(200, 16, 16));
    EXPECT_EQ(theme.LocalColour(), KXTheme::MakeColour(0, 128, 255));
}

// The suite's own theme sets every frame colour; white would mean it was not read.
TEST(KXThemeFile, TheSuitesThemeSetsEveryFrameColour)
{
    KXTheme theme;
    ASSERT_TRUE(theme.Load(HALVEX_SOURCE_DIR "/Resources"));
    for (const char* key : {KXTheme::kFrameLight, KXTheme::kFrameMid, KXTheme::kFrameDark})
        EXPECT_NE(theme.GetColour(key), KXTheme::kWhite) << key;
}

class KXThemeDefaults : public testing::Test {
protected:
    void WriteTheme(const std::string& dict)
    {
        std::ofstream(m_dir / KXTheme::kFileName)
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << dict << "</dict>\n</plist>\n";
    }
    static void ExpectDefaults(const KXTheme& theme)
    {
        for (const char* key : {KXTheme::kFrameLight, KXTheme::kFrameMid, KXTheme::kFrameDark})
            EXPECT_EQ(theme.GetColour(key), KXTheme::kWhite) << key;
        EXPECT_TRUE(theme.WindowShadow());
        EXPECT_TRUE(theme.Leopard());
        EXPECT_EQ(theme.UsbColour(), KXTheme::MakeColour(127, 0, 0));
        EXPECT_EQ(theme.LocalColour(), KXTheme::MakeColour(0, 0, 200));
    }
    halvex::test::TempFolder m_temp{"theme"};
    fs::path m_dir = m_temp.path();
};

TEST_F(KXThemeDefaults, MissingOrDamagedFileLeavesTheDefaults)
{
    KXTheme theme;
    EXPECT_FALSE(theme.Load(m_dir));
    ExpectDefaults(theme);

    std::ofstream(m_dir / KXTheme::kFileName) << "<plist><dict><key>Leopard</key><false/>";
    EXPECT_FALSE(theme.Load(m_dir));
    ExpectDefaults(theme);
}

TEST_F(KXThemeDefaults, ValuesOfTheWrongKindAreIgnored)
{
    WriteTheme(
        "<key>WindowFrameDark</key><string>dark</string>\n"
        "<key>WindowFrameMid</key><integer>5</integer>\n"
        "<key>WindowShadow</key><string>false</string>\n"
        "<key>Leopard</key><integer>0</integer>\n"
        "<key>UsbRGB</key><string>none</string>\n"
        "<key>LocalRGB</key><string></string>\n");
    KXTheme theme;
    EXPECT_TRUE(theme.Load(m_dir));
    ExpectDefaults(theme);
}

TEST_F(KXThemeDefaults, ReloadForgetsTheEarlierTheme)
{
    KXTheme theme;
    ASSERT_TRUE(theme.Load(HALVEX_TEST_DATA "/strings"));
    WriteTheme("<key>Other</key><true/>\n");
    EXPECT_TRUE(theme.Load(m_dir));
    ExpectDefaults(theme);
}

TEST(KXThemeImages, BareNamesGetPngAndStayInTheResources)
{
    const fs::path res = "/drive/HalvexDravane.app/Contents/Resources";
    EXPECT_EQ(KXTheme::ImagePath(res, "AlertStop"), res / "AlertStop.png");
    EXPECT_EQ(KXTheme::ImagePath(res, "Push_Normal_Left.png"), res / "Push_Normal_Left.png");
    EXPECT_EQ(KXTheme::ImagePath(res, "../../x.png"), res / "x.png");
    EXPECT_EQ(KXTheme::ImagePath(res, "/etc/passwd"), res / "passwd.png");
}
