#include "AutoRunControl.h"

#include "KMAutoRun.h"
#include "KMSystem.h"
#include "KWMsgBox.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"

namespace halvex::app {

AutoRunControl AutoRunControl::ForSuite(const std::filesystem::path& resourcesPath)
{
    AutoRunControl control;
    control.isAdministrator = [] { return KMSystem::IsUserAdmin(); };
    control.isInstalled = [] { return KMAutoRun::IsEnabled(); };
    control.isOutdated = [] { return KMAutoRun::NeedToInstall(); };
    control.isRunning = [] { return KMAutoRun::IsRunning(); };
    control.install = [package = KMAutoRun::PackageIn(resourcesPath)] { return KMAutoRun::Enable(package); };
    control.uninstall = [] { return KMAutoRun::Disable(); };
    control.start = [] { return KMAutoRun::Start(); };
    return control;
}

bool InstallAutoRun(QWidget* owner, const AutoRunControl& control)
{
    if (control.install && control.install())
        return true;
    KWMsgBox::Show(owner, KXStrings::GetString("err_autorun_install"), KWMsgBox::kStop, KWMsgBox::kOk);
    return false;
}

bool UninstallAutoRun(QWidget* owner, const AutoRunControl& control)
{
    if (control.uninstall && control.uninstall())
        return true;
    KWMsgBox::Show(owner, KXStrings::GetString("err_autorun_uninstall"), KWMsgBox::kStop, KWMsgBox::kOk);
    return false;
}

void RunStartupAutoRunCheck(QWidget* owner, const AutoRunControl& control, const AutoRunQuestion& ask)
{
    const bool administrator = control.isAdministrator && control.isAdministrator();
    const bool installed = administrator && control.isInstalled && control.isInstalled();
    const auto action = KMAutoRun::DecideAtStartup(
        administrator, installed, installed && control.isOutdated && control.isOutdated(),
        installed && control.isRunning && control.isRunning(), KXAppPrefs::Bool(halvex::prefkey::kAskAutoRun));
    switch (action) {
    case KMAutoRun::StartupAction::Nothing:
        return;
    case KMAutoRun::StartupAction::Reinstall:
        (void)InstallAutoRun(owner, control);
        return;
    case KMAutoRun::StartupAction::StartAgent:
        if (control.start)
            (void)control.start();
        return;
    case KMAutoRun::StartupAction::Ask:
        break;
    }
    const AutoRunAnswer answer = ask ? ask(owner) : AutoRunAnswer{};
    if (answer.install)
        (void)InstallAutoRun(owner, control);
    if (!answer.askAgain) {
        // Written straight into the file, then read back, so the registry
        // and the file agree before anything else syncs.
        DXPlistPrefs prefs(KXAppPrefs::FilePath());
        (void)prefs.Load();
        prefs.SetValue(halvex::prefkey::kAskAutoRun, false);
        (void)prefs.Update();
        (void)KXAppPrefs::Read();
    }
}

}  // namespace halvex::app
