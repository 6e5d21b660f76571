#include "app/autorun/AutoRunControl.h"

#include "toolkit/AppText.h"
#include "system/KMAutoRun.h"
#include "system/KMDevice.h"
#include "system/KMSystem.h"
#include "toolkit/KWMsgBox.h"
#include "system/TrustedDrives.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "app/prefs/PrefsSaveFailure.h"
#include "util/IgnoreResult.h"

namespace halvex::app {

AutoRunControl AutoRunControl::ForSuite(const std::filesystem::path& resourcesPath, const KMDevice& drive)
{
    AutoRunControl control;
    control.isAdministrator = [] { return KMSystem::IsUserAdmin(); };
    control.isInstalled = [] { return KMAutoRun::IsEnabled(); };
    control.isOutdated = [] { return KMAutoRun::NeedToInstall(); };
    control.isRunning = [] { return KMAutoRun::IsRunning(); };
    control.install = [package = KMAutoRun::PackageIn(resourcesPath)] { return KMAutoRun::Enable(package); };
    control.uninstall = [] { return KMAutoRun::Disable(); };
    control.start = [] { return KMAutoRun::Start(); };
    control.trustThisDrive = [identity = DriveIdentity::Of(drive), onUsb = drive.runFromDevice()] {
        return onUsb ? TrustedDrives().Trust(identity) : Status::Fail(TrustedDrives::kNotDistinctKey);
    };
    control.trustedDrives = [] {
        TrustedDrives list;
        IgnoreResult(list.Load(), "a damaged list shows as empty, as the agent reads it");
        return list.Drives();
    };
    control.forgetDrive = [](const DriveIdentity& identity) { return TrustedDrives().Forget(identity).status(); };
    return control;
}

void ReportTrustFailure(QWidget* owner, const Status& status)
{
    const bool distinct = status.messageKey != TrustedDrives::kNotDistinctKey;
    const QString text =
        distinct ? FailureText(TrustedDrives::kWriteErrorKey, "The list of trusted drives could not be saved.", status)
                 : FailureText(TrustedDrives::kNotDistinctKey,
                               "This drive has no serial number or file system UUID that tells it "
                               "from other drives, so it cannot be trusted.",
                               status);
    KWMsgBox::Show(owner, text, KWMsgBox::kStop, KWMsgBox::kOk);
}

void EnableAutoRunFromThisDrive(QWidget* owner, const AutoRunControl& control)
{
    if (!InstallAutoRun(owner, control) || !control.trustThisDrive)
        return;
    const Status trusted = control.trustThisDrive();
    if (trusted)
        return;
    // A drive without serial number or UUID cannot join the list, yet the
    // agent is on and asks about it at each insertion: a note, not an error.
    if (trusted.messageKey == TrustedDrives::kNotDistinctKey)
        KWMsgBox::Show(owner, TextOr("autorun_asks_each_time"), KWMsgBox::kNote, KWMsgBox::kOk);
    else
        ReportTrustFailure(owner, trusted);
}

bool InstallAutoRun(QWidget* owner, const AutoRunControl& control)
{
    const Status installed = control.install ? control.install() : Status::Fail(KMAutoRun::kInstallErrorKey);
    if (installed)
        return true;
    KWMsgBox::Show(
        owner, FailureText(KMAutoRun::kInstallErrorKey, "Autorun could not be enabled on this computer.", installed),
        KWMsgBox::kStop, KWMsgBox::kOk);
    return false;
}

void UninstallAutoRun(QWidget* owner, const AutoRunControl& control)
{
    const Status removed = control.uninstall ? control.uninstall() : Status::Fail(KMAutoRun::kUninstallErrorKey);
    if (!removed)
        KWMsgBox::Show(
            owner,
            FailureText(KMAutoRun::kUninstallErrorKey, "Autorun could not be disabled on this computer.", removed),
            KWMsgBox::kStop, KWMsgBox::kOk);
}

void RunStartupAutoRunCheck(QWidget* owner, const AutoRunControl& control, const AutoRunQuestion& ask)
{
    const bool administrator = control.isAdministrator && control.isAdministrator();
    const bool installed = administrator && control.isInstalled && control.isInstalled();
    const auto action = KMAutoRun::DecideAtStartup(
        administrator, installed, installed && control.isOutdated && control.isOutdated(),
        installed && control.isRunning && control.isRunning(), KXAppPrefs::Bool(halvex::prefkey::kAskAutoRun));
    switch (action) {
    case KMAutoRun::StartupAction::Nothing: return;
    case KMAutoRun::StartupAction::Reinstall:
        IgnoreResult(InstallAutoRun(owner, control), "its failure is shown; the next start tries again");
        return;
    case KMAutoRun::StartupAction::StartAgent:
        if (control.start)
            IgnoreResult(control.start(), "an agent that did not start is started again at the next start");
        return;
    case KMAutoRun::StartupAction::Ask: break;
    }
    const AutoRunAnswer answer = ask ? ask(owner) : AutoRunAnswer{};
    if (answer.install)
        EnableAutoRunFromThisDrive(owner, control);
    if (!answer.askAgain) {
        // Written straight into the file, then read back, so the registry
        // and the file agree before anything else syncs.
        DXPlistPrefs prefs(KXAppPrefs::FilePath());
        prefs.SetValue(halvex::prefkey::kAskAutoRun, false);
        if (const Status written = prefs.Update(); !written)
            ReportPrefsNotSaved(owner, written);
        IgnoreResult(KXAppPrefs::Read(), "a file that holds nothing leaves the defaults, as at start-up");
    }
}

}  // namespace halvex::app
