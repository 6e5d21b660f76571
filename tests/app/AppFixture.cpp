#include "AppFixture.h"

#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <set>

#include "plist/DXPlistPrefs.h"

namespace fs = std::filesystem;

void AppFixture::SetUp()
{
    m_folder = std::make_unique<halvex::test::TempFolder>("app");
    m_root = m_folder->path();
    m_drive = m_root / "STICK";
    fs::create_directories(m_drive / "HalvexDravane.app" / "Contents");
    fs::create_directory_symlink(fs::path(HALVEX_PROGRAM_DIR).parent_path() / "Resources",
                                 m_drive / "HalvexDravane.app" / "Contents" / "Resources");
    // A runtime folder of our own: the single-instance lock lives there.
    fs::create_directories(m_root / "run");
    fs::permissions(m_root / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
    ::setenv("HALVEX_ASSUME_USB", "1", 1);
    // This user's records (confirmed folders, trusted drives) stay in the test's folder.
    ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    KXAppPrefs::Clear();
    KWMsgBox::ClearTestState();
}

void AppFixture::TearDown()
{
    KWMsgBox::ClearTestState();
    KXAppPrefs::Clear();
    ::unsetenv("HALVEX_ASSUME_USB");
    ::unsetenv("XDG_CONFIG_HOME");
    m_folder.reset();
}

void AppFixture::AcceptLicence(bool showMain)
{
    fs::create_directories(PrefsFile().parent_path());
    DXPlistPrefs prefs(PrefsFile());
    prefs.SetValue("eula", true);
    prefs.SetValue("ShowMain", showMain);
    ASSERT_TRUE(prefs.Update());
}

fs::path ScreenshotFolder()
{
    fs::path folder = fs::path(HALVEX_BINARY_DIR) / "screenshots";
    fs::create_directories(folder);
    return folder;
}

namespace {

// A picture is blank when a single colour, or next to one, fills it.
bool HasDrawing(const QImage& image)
{
    if (image.isNull())
        return false;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 16; y += 3) {
        for (int x = 0; x < image.width() && colours.size() < 16; x += 3)
            colours.insert(image.pixel(x, y));
    }
    return colours.size() >= 16;
}

}  // namespace

void SaveScreenshot(QWidget& window, const std::string& name)
{
    const fs::path file = ScreenshotFolder() / name;
    fs::remove(file);
    window.show();
    ASSERT_TRUE(window.grab().save(QString::fromStdString(file.string()))) << file;
    EXPECT_TRUE(HasDrawing(QImage(QString::fromStdString(file.string())))) << file << " is blank";
}
