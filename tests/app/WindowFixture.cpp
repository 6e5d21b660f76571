#include "WindowFixture.h"

#include "toolkit/DWSkin.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"

namespace fs = std::filesystem;

void WindowFixture::SetUp()
{
    AppFixture::SetUp();
    fs::create_directories(DataPath());
    ASSERT_TRUE(KXStrings::Init(Resources()));
    DWSkin::Init(Resources(), false);
    KXAppPrefs::AddSuitePreferences();
    KXAppPrefs::InitWithPath(PrefsFile());
}

fs::path WindowFixture::Resources() const
{
    return fs::path(HALVEX_PROGRAM_DIR).parent_path() / "Resources";
}

fs::path WindowFixture::ComputerFolder(const std::string& name) const
{
    fs::path folder = m_root / "computer" / name;
    fs::create_directories(folder);
    return folder;
}

halvex::app::AutoRunControl WindowFixture::FakeAutoRun(bool administrator)
{
    halvex::app::AutoRunControl control;
    control.isAdministrator = [administrator] { return administrator; };
    control.isInstalled = [this] { return m_bInstalled; };
    control.isOutdated = [] { return false; };
    control.isRunning = [] { return true; };
    control.install = [this] {
        ++m_nInstalls;
        m_bInstalled = m_bInstallWorks;
        return m_bInstallWorks ? halvex::Status::Ok() : halvex::Status::Fail("err_autorun_install");
    };
    control.uninstall = [this] {
        ++m_nUninstalls;
        m_bInstalled = false;
        return halvex::Status::Ok();
    };
    control.start = [] { return halvex::Status::Ok(); };
    control.trustThisDrive = [this] {
        std::erase_if(m_trusted, [](const halvex::DriveIdentity& d) { return d.SameDrive(kThisDrive); });
        m_trusted.push_back(kThisDrive);
        return halvex::Status::Ok();
    };
    control.trustedDrives = [this] { return m_trusted; };
    control.forgetDrive = [this](const halvex::DriveIdentity& drive) {
        std::erase_if(m_trusted, [&](const halvex::DriveIdentity& d) { return d.SameDrive(drive); });
        return halvex::Status::Ok();
    };
    return control;
}
