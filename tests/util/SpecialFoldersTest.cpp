#include "util/SpecialFolders.h"

#include <cstdlib>
#include <optional>

#include "TestFolder.h"

namespace fs = std::filesystem;
using halvex::UserDirFromText;

TEST(UserDirFromText, ReadsTheShellAssignments)
{
    const fs::path home = "/home/ann";
    const struct {
        const char* text;
        const char* folder;  // "" for none
    } cases[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "/home/ann/Desktop"},
        {"# comment\n  XDG_DESKTOP_DIR=\"$HOME/Bureau\"\r\n", "/home/ann/Bureau"},
        {"XDG_DESKTOP_DIR=\"${HOME}/Schreibtisch\"", "/home/ann/Schreibtisch"},
        {"XDG_DESKTOP_DIR=\"/srv/desk\"\n", "/srv/desk"},
        {"XDG_DESKTOP_DIR=\"$HOME/\"\n", "/home/ann"},
        {"XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n", "/home/ann/My \"Desk\""},
        {"XDG_DESKTOP_DIR=$HOME/Bare\n", "/home/ann/Bare"},
        {"XDG_DESKTOP_DIR=\"$HOME/A\"\nXDG_DESKTOP_DIR=\"$HOME/B\"\n", "/home/ann/B"},
        // Not this key, not allowed, or damaged.
        {"XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", ""},
        {"XDG_DESKTOP_DIRX=\"$HOME/Desktop\"\n", ""},
        {"# XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", ""},
        {"XDG_DESKTOP_DIR=\"Desktop\"\n", ""},
        {"XDG_DESKTOP_DIR=\"$HOMEWORK/x\"\n", ""},
        {"XDG_DESKTOP_DIR=\"$HOME/unterminated\n", ""},
        {"XDG_DESKTOP_DIR=\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UserDirFromText(c.text, "XDG_DESKTOP_DIR", home).string(), c.folder);
    }
    // A damaged later line does not undo a good earlier one.
    EXPECT_EQ(UserDirFromText("XDG_DESKTOP_DIR=\"$HOME/A\"\nXDG_DESKTOP_DIR=\"oops\n", "XDG_DESKTOP_DIR", home),
              "/home/ann/A");
    EXPECT_EQ(UserDirFromText(std::string_view("XDG_DESKTOP_DIR=\"/a\0b\"", 22), "XDG_DESKTOP_DIR", home), "");
}

// Points HOME and XDG_CONFIG_HOME at the test folder for one test.
class SpecialFoldersTest : public TestFolder {
protected:
    void SetUp() override
    {
        TestFolder::SetUp();
        m_home.emplace("HOME", (Root() / "home").c_str());
        m_config.emplace("XDG_CONFIG_HOME", nullptr);
    }
    void TearDown() override
    {
        m_home.reset();
        m_config.reset();
        TestFolder::TearDown();
    }

private:
    std::optional<ScopedEnvironment> m_home;
    std::optional<ScopedEnvironment> m_config;
};

TEST_F(SpecialFoldersTest, FallbacksWithoutAUserDirsFile)
{
    EXPECT_EQ(halvex::UserBaseFolder(), Root() / "home");
    EXPECT_EQ(halvex::DesktopFolder(), Root() / "home" / "Desktop");
    EXPECT_EQ(halvex::DocumentsFolder(), Root() / "home" / "Documents");
}

TEST_F(SpecialFoldersTest, UserDirsFileInTheConfigFolders)
{
    WriteFile(Root() / "home" / ".config" / "user-dirs.dirs",
              "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(halvex::DesktopFolder(), Root() / "home" / "Bureau");
    EXPECT_EQ(halvex::DocumentsFolder(), Root() / "home" / "Dokumente");

    WriteFile(Root() / "config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk\"\n");
    ::setenv("XDG_CONFIG_HOME", (Root() / "config").c_str(), 1);
    EXPECT_EQ(halvex::DesktopFolder(), fs::path("/srv/desk"));
    EXPECT_EQ(halvex::DocumentsFolder(), Root() / "home" / "Documents");

    // A relative XDG_CONFIG_HOME is not allowed: the default is read.
    ::setenv("XDG_CONFIG_HOME", "config", 1);
    EXPECT_EQ(halvex::DesktopFolder(), Root() / "home" / "Bureau");
}

TEST_F(SpecialFoldersTest, OversizedUserDirsFileIsRefused)
{
    WriteFile(Root() / "home" / ".config" / "user-dirs.dirs",
              "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n" + std::string(std::size_t{100} * 1024, '#'));
    EXPECT_EQ(halvex::DesktopFolder(), Root() / "home" / "Desktop");
}
