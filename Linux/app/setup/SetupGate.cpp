#include "app/setup/SetupGate.h"

#include "app/sync/SyncFolderSupport.h"
#include "app/sync/SyncUiCallback.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"

namespace halvex::app {

bool LicenceAccepted(const std::filesystem::path& prefsFile)
{
    DXPlistPrefs prefs(prefsFile);
    if (!prefs.Load())
        return false;
    bool accepted = false;
    (void)prefs.GetValue(prefkey::kEula, accepted, false);
    return accepted;
}

bool RunSetupGate(QWidget* owner, const SetupPlace& place, const SetupWindows& windows, const AutoRunControl& autoRun,
                  bool& completedNow)
{
    completedNow = false;
    if (LicenceAccepted(place.prefsFile))
        return true;
    if (!windows.welcome || !windows.welcome())
        return false;
    const std::optional<SetupChoices> choices = windows.wizard ? windows.wizard() : std::nullopt;
    if (!choices)
        return false;
    StoreSetupChoices(owner, place, *choices, autoRun);
    completedNow = true;
    return true;
}

void StoreSetupChoices(QWidget* owner, const SetupPlace& place, const SetupChoices& choices,
                       const AutoRunControl& autoRun)
{
    DXPlistPrefs prefs(place.prefsFile);
    (void)prefs.Load();
    prefs.SetValue(prefkey::kEula, true);

    // A failed set-aside has shown its message; the sync window asks for a
    // folder later.
    SyncUiCallback callback(owner);
    if (!choices.syncFolder.empty())
        (void)SetSyncFolder(place.sync, choices.syncFolder, callback);
    prefs.SetValue(prefkey::kSyncSubfolders, choices.syncSubfolders);

    (void)prefs.Update();
    (void)KXAppPrefs::Read();

    if (choices.installAutoRun)
        (void)EnableAutoRunFromThisDrive(owner, autoRun);
}

}  // namespace halvex::app
