#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "app/backup/BackupSession.h"
#include "app/backup/CHalvexBackUpDialogDlg.h"
#include "app/backup/KWBackupConfigureDlg.h"
#include "app/backup/KWRestoreChildDialog.h"
#include "app/backup/KWRunDlg.h"
#include "toolkit/KWMsgBox.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupSetFolder.h"
#include "strings/KXStrings.h"
#include "util/IgnoreResult.h"
#include "toolkit/ScreenReader.h"

namespace halvex::app {

namespace bm = backup_message;

CHalvexBackUpDialogDlg::CHalvexBackUpDialogDlg(QWidget* owner, BackupSession& session)
    : QDialog(owner), m_session(session)
{
    setWindowTitle(TextOr("backup_backup"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    auto* listLabel = new QLabel(TextOr("backup_select_profile"), this);
    layout->addWidget(listLabel);
    auto* middle = new QHBoxLayout;
    m_list = new QListWidget(this);
    NameByLabel(listLabel, m_list);
    m_list->setMinimumSize(300, 180);
    middle->addWidget(m_list, 1);
    auto* commands = new QVBoxLayout;
    auto* create = new QPushButton(TextOr("backup_create_profile"), this);
    m_edit = new QPushButton(TextOr("backup_edit_profile"), this);
    m_delete = new QPushButton(TextOr("backup_delete_profile"), this);
    commands->addWidget(create);
    commands->addWidget(m_edit);
    commands->addWidget(m_delete);
    commands->addStretch();
    middle->addLayout(commands);
    layout->addLayout(middle);
    auto* buttons = new QHBoxLayout;
    m_backup = new QPushButton(TextOr("backup_start"), this);
    m_restoreButton = new QPushButton(TextOr("restore_start"), this);
    auto* cancel = new QPushButton(TextOr("cancel"), this);
    buttons->addStretch();
    buttons->addWidget(m_backup);
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, &CHalvexBackUpDialogDlg::SelectProfile);
    connect(create, &QPushButton::clicked, this, &CHalvexBackUpDialogDlg::CreateProfile);
    connect(m_edit, &QPushButton::clicked, this, &CHalvexBackUpDialogDlg::EditProfile);
    connect(m_delete, &QPushButton::clicked, this, &CHalvexBackUpDialogDlg::DeleteProfile);
    connect(m_backup, &QPushButton::clicked, this, &CHalvexBackUpDialogDlg::Backup);
    connect(m_restoreButton, &QPushButton::clicked, this, &CHalvexBackUpDialogDlg::Restore);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (const Status index = m_session.store.ReadIndex(); !index)
        ShowIndexProblem(index);
    IgnoreResult(m_session.LoadCurrentProfile(), "the profile selected below is read again and its problem shown then");
    FillProfiles(m_session.store.CurrentProfile());
}

void CHalvexBackUpDialogDlg::FillProfiles(int selectNumber)
{
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    m_numbers = m_session.store.ProfilesOf(m_session.identity);
    int selectRow = -1;
    for (std::size_t row = 0; row < m_numbers.size(); ++row) {
        // One that turned unreadable since it was listed is marked damaged too.
        const Result<BackupProfile> profile = m_session.store.Read(m_numbers[row]);
        QString text = profile ? QString::fromStdString(profile.value().DisplayName()) : QString();
        if (!profile || !IsValidSetName(profile.value().setName))
            text += " " + m_session.Message(bm::kDamagedMark);
        m_list->addItem(text);
        if (m_numbers[row] == selectNumber)
            selectRow = static_cast<int>(row);
    }
    const bool any = !m_numbers.empty();
    m_edit->setEnabled(any);
    m_delete->setEnabled(any);
    m_backup->setEnabled(any);
    m_restoreButton->setEnabled(any);
    if (!any)
        return;
    if (selectRow < 0)
        selectRow = static_cast<int>(m_numbers.size()) - 1;
    m_list->setCurrentRow(selectRow);
    SelectProfile(selectRow);
}

void CHalvexBackUpDialogDlg::SelectProfile(int row)
{
    if (row < 0 || row >= static_cast<int>(m_numbers.size()))
        return;
    m_session.store.SetCurrentProfile(m_numbers[row]);
    if (const Status written = m_session.store.WriteIndex(); !written)
        ShowIndexProblem(written);
    m_session.profile = {};
    ShowReadProblem(m_session.LoadCurrentProfile());
}

bool CHalvexBackUpDialogDlg::ShowReadProblem(const Status& loaded)
{
    if (loaded.messageKey != kProfileUnreadableKey && loaded.messageKey != kProfileDamagedKey)
        return false;
    KWMsgBox::Show(this, m_session.MessageAbout(ProfileMessage(loaded), m_session.CurrentProfilePath()),
                   KWMsgBox::kStop);
    return true;
}

void CHalvexBackUpDialogDlg::ShowIndexProblem(const Status& written)
{
    // The selection holds only until the window closes: the next start
    // would open another profile than the one the user chose.
    KWMsgBox::Show(this, m_session.MessageAbout(ProfileMessage(written), m_session.store.IndexPath()), KWMsgBox::kStop);
}

bool CHalvexBackUpDialogDlg::RunConfigure(bool newProfile)
{
    KWBackupConfigureDlg configure(this, m_session, newProfile);
    if (configure.exec() != QDialog::Accepted)
        return false;
    FillProfiles(m_session.store.CurrentProfile());
    return true;
}

void CHalvexBackUpDialogDlg::CreateProfile()
{
    RunConfigure(true);
}

void CHalvexBackUpDialogDlg::EditProfile()
{
    if (!m_numbers.empty())
        RunConfigure(false);
}

void CHalvexBackUpDialogDlg::DeleteProfile()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_numbers.size()))
        return;
    const int number = m_numbers[row];
    const Result<BackupProfile> read = m_session.store.Read(number);
    // The set name leads the delete: one that is no folder name could name
    // the drive itself or a folder anywhere, so the profile is left alone.
    if (!read || !IsValidSetName(read.value().setName)) {
        KWMsgBox::Show(this,
                       m_session.MessageAbout(read ? bm::kDamagedProfile : bm::kProfileUnreadable,
                                              m_session.store.ProfilePath(number)),
                       KWMsgBox::kStop);
        return;
    }
    const BackupProfile& profile = read.value();
    const QString question = m_session.Message(bm::kDeleteQuestionBefore) + " " +
                             QString::fromStdString(profile.setName) + m_session.Message(bm::kDeleteQuestionAfter);
    if (KWMsgBox::Show(this, question, KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdNo) != KWMsgBox::kIdYes)
        return;
    if (!m_session.driveRoot.empty()) {
        if (const Status removed = DeleteSetFolder(m_session.BackupFolder(), profile.setName); !removed.ok) {
            KWMsgBox::Show(
                this, m_session.MessageAbout(SetFolderMessage(removed), m_session.BackupFolder() / profile.setName),
                KWMsgBox::kStop);
            return;
        }
    }
    const Status deleted = m_session.store.Delete(number);
    if (!deleted.ok) {
        KWMsgBox::Show(this,
                       QString("%1 %2\n%3\n%4")
                           .arg(m_session.Message(bm::kDeleteFailed), PathText(m_session.store.ProfilePath(number)),
                                m_session.Message(bm::kDeleteFailedLine2), QString::fromStdString(deleted.detail)),
                       KWMsgBox::kStop);
        return;
    }
    m_session.profile = {};
    FillProfiles(-1);
}

void CHalvexBackUpDialogDlg::StartBackup()
{
    KWBackupProcessDlg progress(this, m_session);
    progress.Execute();
    IgnoreResult(m_session.LoadCurrentProfile(),
                 "read again only for its new backup time; the run has shown its own problems");
}

void CHalvexBackUpDialogDlg::Backup()
{
    m_session.profile = {};
    if (ShowReadProblem(m_session.LoadCurrentProfile()))
        return;
    auto askYes = [this](int message) {
        return KWMsgBox::Show(this, m_session.Message(message), KWMsgBox::kCaution, KWMsgBox::kYesNo,
                              KWMsgBox::kIdYes) == KWMsgBox::kIdYes;
    };
    if (m_session.profile.sourceFolder.empty()) {
        if (!RunConfigure(m_numbers.empty()) || !askYes(0))
            return;
    }
    if (askYes(bm::kAreYouSure))
        StartBackup();
}

void CHalvexBackUpDialogDlg::Restore()
{
    // One that cannot be read keeps the profile shown; its last backup time decides.
    if (const Status loaded = m_session.LoadCurrentProfile(); loaded.messageKey == kProfileDamagedKey) {
        ShowReadProblem(loaded);
        return;
    }
    if (m_session.profile.lastBackupTime == 0)
        return;
    KWRestoreChildDialog restore(this, m_session);
    restore.exec();
}

}  // namespace halvex::app
