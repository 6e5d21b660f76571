#include <QPushButton>

#include "app/backup/BackupSession.h"
#include "app/backup/CHalvexBackUpDialogDlg.h"
#include "app/main/KWMainApp.h"
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
