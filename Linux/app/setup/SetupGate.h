#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "app/autorun/AutoRunControl.h"
#include "app/setup/KWSetupDlg.h"
#include "sync/SyncFolderPair.h"

class QWidget;

namespace halvex::app {

struct SetupPlace {
    std::filesystem::path prefsFile;  // the application preference file
    SyncPlace sync;
    // Records the folder chosen in the wizard as this user's own choice here.
    std::function<void(const std::filesystem::path&)> recordSyncChoice;
};

// The two windows of the gate, replaceable by the tests.
struct SetupWindows {
    std::function<bool()> welcome;                        // true: Continue
    std::function<std::optional<SetupChoices>()> wizard;  // nothing: Cancel
};

// "eula" of the preference file.
bool LicenceAccepted(const std::filesystem::path& prefsFile);

// The first-run gate: nothing to do once the licence is accepted; otherwise
// the welcome window and the wizard, and on Finish the results are stored.
// False ends the program, with nothing written.
bool RunSetupGate(QWidget* owner, const SetupPlace& place, const SetupWindows& windows, const AutoRunControl& autoRun,
                  bool& completedNow);

// Finish, in order: "eula"; the sync folder (with the set-aside question
// when the drive folder holds files) and "SyncSubfolders"; the file saved
// and read again; then the agent installed and this drive trusted when
// asked for.
void StoreSetupChoices(QWidget* owner, const SetupPlace& place, const SetupChoices& choices,
                       const AutoRunControl& autoRun);

}  // namespace halvex::app
