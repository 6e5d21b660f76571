#include "app/setup/SetupGate.h"

#include "app/sync/SyncFolderSupport.h"
#include "app/sync/SyncUiCallback.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "app/prefs/PrefsSaveFailure.h"
#include "util/IgnoreResult.h"

namespace halvex::app {

bool LicenceAccepted(const std::filesystem::path& prefsFile)
{
    const DXPlistPrefs prefs(prefsFile);  // an unreadable file holds no licence
    bool accepted = false;
    return prefs.GetValue(prefkey::kEula, accepted, false) && accepted;
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
    prefs.SetValue(prefkey::kEula, true);

    // A failed set-aside has shown its message; the sync window asks for a
    // folder later.
    SyncUiCallback callback(owner);
    if (!choices.syncFolder.empty() &&
        SetSyncFolder(place.sync, choices.syncFolder, callback, StoredFolder::Ignore) != FolderChange::Abandoned &&
        place.recordSyncChoice)
        place.recordSyncChoice(choices.syncFolder);
    prefs.SetValue(prefkey::kSyncSubfolders, choices.syncSubfolders);

    // The licence then counts as not accepted, and the first-run questions
    // come again at the next start: the user must know why.
    if (const Status written = prefs.Update(); !written)
        ReportPrefsNotSaved(owner, written);
    IgnoreResult(KXAppPrefs::Read(), "a file that holds nothing leaves the defaults, as at start-up");

    if (choices.installAutoRun)
        EnableAutoRunFromThisDrive(owner, autoRun);
}

}  // namespace halvex::app
