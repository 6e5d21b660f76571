#pragma once

class QWidget;
class KWMainApp;

// The tool windows the main window opens, each run modally. One file each,
// so every window grows on its own.
namespace halvex::app {

enum class SyncMode { Normal, Instant };
enum class BackupView { Backup, Restore, Configure };
enum class PrefsPage { General, Sync, Advanced };
enum class StartupChoice { Cancelled, Continue, Sync, Backup };

void RunSyncWindow(QWidget* owner, KWMainApp& app, SyncMode mode);
void RunBackupWindow(QWidget* owner, KWMainApp& app, BackupView view);
// True when the user pressed OK.
bool RunPrefsWindow(QWidget* owner, KWMainApp& app, PrefsPage page);
// The welcome window, shown again later from the main window.
StartupChoice RunStartupWindow(QWidget* owner, KWMainApp& app, bool atFirstRun);
// The first-run gate: false ends the program. `completedNow` tells the main
// window that setup has just been finished.
bool HandleSetup(KWMainApp& app, bool& completedNow);
// The auto-run checks at start-up, once the licence is accepted.
void StartupAutoRunCheck(QWidget* owner, KWMainApp& app);
// Check for updates on request (interactive) or at start in the background.
void CheckForUpdates(QWidget* owner, KWMainApp& app);
void CheckForUpdatesInBackground(QWidget* owner, KWMainApp& app);

}  // namespace halvex::app
