#include <QPushButton>

#include "app/backup/BackupSession.h"
#include "app/backup/CHalvexBackUpDialogDlg.h"
#include "app/main/KWMainApp.h"
#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "toolkit/KWMsgBox.h"
#include "app/main/ToolWindows.h"
#include "backup/BackupFileUtils.h"
#include "strings/KXStrings.h"
#include "util/ComputerIdentity.h"
#include "util/IgnoreResult.h"
#include "util/SpecialFolders.h"

namespace halvex::app {

void RunBackupWindow(QWidget* owner, KWMainApp& app, BackupView view)
{
    BackupSession session(app.Paths().DataPath(), app.Device().mountPath(), app.Device().allocationBlockSize(),
                          ComputerIdentity());
    session.desktopFolder = DesktopFolder();
    session.homeFolder = UserBaseFolder();
    const DriveIdentity drive = DriveIdentity::Of(app.Device());
    session.backedUpHere = [drive](const std::string& set, const std::filesystem::path& folder) {
        return ConfirmedFolders().Has(ConfirmedFolders::Use::Backup, drive, set, folder);
    };
    session.recordBackup = [drive](const std::string& set, const std::filesystem::path& folder) {
        IgnoreResult(
            ConfirmedFolders().Record(ConfirmedFolders::Use::Backup, drive, set, std::filesystem::absolute(folder)),
            "a backup not recorded here only brings a question at its restore");
    };
    IgnoreResult(session.strings.Load(KXStrings::LanguageFolderPath() / "BackupRestore.plist"),
                 "a missing or partial table keeps the built-in English texts");

    CHalvexBackUpDialogDlg window(owner, session);
    switch (view) {
    case BackupView::Backup: window.exec(); break;
    case BackupView::Restore:
        if (!FolderExists(session.BackupFolder()) || session.profile.lastBackupTime == 0)
            KWMsgBox::Show(owner, session.Message(backup_message::kNoBackupFolder), KWMsgBox::kCaution);
        else
            window.Restore();
        break;
    case BackupView::Configure:
        if (window.EditButton()->isEnabled())
            window.EditProfile();
        else
            window.CreateProfile();
        break;
    }
}

}  // namespace halvex::app
