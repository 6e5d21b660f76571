#pragma once

#include <filesystem>
#include <optional>

#include "system/SyncDriveRules.h"
#include "sync/SyncCallback.h"
#include "sync/SyncFolderPair.h"

class QWidget;
class KMDevice;
class KWMainApp;

namespace halvex::app {

// Where the sync folders of this computer live.
SyncPlace SyncPlaceOf(const KWMainApp& app);

// The folder picker ("sync_select_folder_title", button "select") starting
// at `start`; a picked folder that breaks the chooser's rules is refused with
// its message. Nothing when cancelled or refused.
std::optional<std::filesystem::path> BrowseSyncFolder(QWidget* owner, const std::filesystem::path& start,
                                                      const std::filesystem::path& driveFolder,
                                                      const SyncDriveProbe& probe);

// The same rules for a folder typed into an edit box; shows the message and
// answers false when the folder is refused.
bool CheckTypedSyncFolder(QWidget* owner, const std::filesystem::path& folder, const std::filesystem::path& driveFolder,
                          const SyncDriveProbe& probe);

}  // namespace halvex::app
