#include "app/autorun/AutoRunControl.h"
#include "system/KMSystem.h"
#include "app/autorun/KWAutoRunDlg.h"
#include "app/main/KWMainApp.h"
#include "app/setup/KWStartupDlg.h"
#include "app/setup/SetupGate.h"
#include "app/sync/SyncFolderSupport.h"
#include "app/main/ToolWindows.h"
#include "strings/KXStrings.h"

namespace halvex::app {

namespace {

KWSetupSync::Folders SetupFolders()
{
    KWSetupSync::Folders folders;
    folders.desktop = KMSystem::GetDesktopFolder();
    folders.documents = KMSystem::GetDocumentsFolder();
    folders.ownStart = folders.documents;
    return folders;
}

}  // namespace

StartupChoice RunStartupWindow(QWidget* owner, KWMainApp&, bool atFirstRun)
{
    KWStartupDlg welcome(owner, atFirstRun);
    welcome.exec();
    return welcome.Choice();
}

bool HandleSetup(KWMainApp& app, bool& completedNow)
{
    const SyncDriveProbe probe = MakeSyncDriveProbe(app.Device());
    const SetupPlace place{app.Paths().AppPrefsPath(), SyncPlaceOf(app), probe.recordChoice};
    const AutoRunControl autoRun = AutoRunControl::ForSuite(app.Paths().ResourcesPath(), app.Device());
    const std::filesystem::path usbPath = SyncUsbPath(app.Paths().RunPath());

    SetupWindows windows;
    windows.welcome = [&app] { return RunStartupWindow(nullptr, app, true) == StartupChoice::Continue; };
    windows.wizard = [&]() -> std::optional<SetupChoices> {
        KWSetupDlg setup(
            nullptr, KXStrings::LicensePath(), SetupFolders(),
            [&](QWidget* owner, const std::filesystem::path& start) {
                return BrowseSyncFolder(owner, start, usbPath, probe);
            },
            [&](QWidget* owner, const std::filesystem::path& folder) {
                return CheckTypedSyncFolder(owner, folder, usbPath, probe);
            },
            autoRun.isAdministrator());
        if (setup.exec() != QDialog::Accepted)
            return std::nullopt;
        return setup.Choices();
    };
    return RunSetupGate(nullptr, place, windows, autoRun, completedNow);
}

void StartupAutoRunCheck(QWidget* owner, KWMainApp& app)
{
    // A folder only taken as a drive (HALVEX_ASSUME_USB) is never plugged
    // in: an agent that starts the suite on insertion has nothing to do for it.
    if (app.Device().isAssumed())
        return;
    RunStartupAutoRunCheck(owner, AutoRunControl::ForSuite(app.Paths().ResourcesPath(), app.Device()),
                           [](QWidget* parent) {
                               KWAutoRunDlg ask(parent);
                               AutoRunAnswer answer;
                               answer.install = ask.exec() == QDialog::Accepted;
                               answer.askAgain = ask.AskAgain();
                               return answer;
                           });
}

}  // namespace halvex::app
