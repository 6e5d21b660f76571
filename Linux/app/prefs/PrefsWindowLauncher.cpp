#include "app/autorun/AutoRunControl.h"
#include "app/main/KWMainApp.h"
#include "app/prefs/KWPrefsDlg.h"
#include "app/sync/SyncFolderSupport.h"
#include "app/main/ToolWindows.h"

namespace halvex::app {

bool RunPrefsWindow(QWidget* owner, KWMainApp& app, PrefsPage page)
{
    PrefsContext context;
    context.sync = SyncPlaceOf(app);
    context.autoRun = AutoRunControl::ForSuite(app.Paths().ResourcesPath(), app.Device());
    const std::filesystem::path usbPath = SyncUsbPath(app.Paths().RunPath());
    const SyncDriveProbe probe = MakeSyncDriveProbe(app.Device());
    context.recordSyncChoice = probe.recordChoice;
    context.browse = [usbPath, probe](QWidget* parent, const std::filesystem::path& start) {
        return BrowseSyncFolder(parent, start, usbPath, probe);
    };
    const KWPrefsDlg::Page first = page == PrefsPage::Sync       ? KWPrefsDlg::kSync
                                   : page == PrefsPage::Advanced ? KWPrefsDlg::kAdvanced
                                                                 : KWPrefsDlg::kGeneral;
    KWPrefsDlg prefs(owner, std::move(context), first);
    return prefs.exec() == QDialog::Accepted;
}

}  // namespace halvex::app
