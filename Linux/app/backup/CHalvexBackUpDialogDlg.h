#pragma once

#include <QDialog>

#include <vector>

#include "app/backup/BackupSession.h"
#include "backup/BackupProfileStore.h"

class QListWidget;
class QPushButton;

namespace halvex::app {

class CHalvexBackUpDialogDlg : public QDialog {
    Q_OBJECT
public:
    CHalvexBackUpDialogDlg(QWidget* owner, BackupSession& session);

    QListWidget* ProfileList() const { return m_list; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* BackupButton() const { return m_backup; }
    QPushButton* RestoreButton() const { return m_restoreButton; }

    void SelectProfile(int row);
    void CreateProfile();
    void EditProfile();
    void DeleteProfile();
    void Backup();
    void Restore();
    // Runs the backup progress window over the current profile.
    void StartBackup();

private:
    void FillProfiles(int selectNumber);
    bool RunConfigure(bool newProfile);
    // Shows why the current profile cannot be used (it cannot be read, or it
    // is damaged); false when it can.
    bool ShowReadProblem(const Status& loaded);
    // Shows that the profile index could not be written.
    void ShowIndexProblem(const Status& written);

    BackupSession& m_session;
    std::vector<int> m_numbers;
    QListWidget* m_list;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QPushButton* m_backup;
    QPushButton* m_restoreButton;
};

}  // namespace halvex::app
