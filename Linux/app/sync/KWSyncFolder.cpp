#include "app/sync/KWSyncFolder.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWImageButton.h"
#include "toolkit/DWSkin.h"
#include "system/KMSystem.h"
#include "toolkit/KWMsgBox.h"
#include "app/sync/SyncUiCallback.h"
#include "strings/KXStrings.h"
#include "toolkit/PathText.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;
using halvex::IgnoreResult;

KWSyncFolder::KWSyncFolder(QWidget* owner, fs::path driveFolder, halvex::SyncDriveProbe probe)
    : QDialog(owner), m_driveFolder(std::move(driveFolder)), m_probe(std::move(probe))
{
    setWindowTitle(TextOr("sync_folder_title"));
    setObjectName("KWSyncFolder");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 18, 22, 16);
    layout->setSpacing(12);
    auto* intro = new QLabel(TextOr("sync_folder_intro"));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* prompt = new QLabel(TextOr("sync_folder_prompt"));
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);
    layout->addWidget(prompt);

    // Three choices side by side, each a picture over its radio button.
    m_choices = new QButtonGroup(this);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    const struct {
        const char* image;
        QString text;
    } choices[] = {{"Desktop.png", TextOr("folder_desktop")},
                   {"Documents.png", TextOr("folder_documents")},
                   {"Folder.png", TextOr("folder_other")}};
    for (int i = 0; i < 3; ++i) {
        auto* cell = new QVBoxLayout;
        auto* picture = new QLabel;
        picture->setPixmap(DWSkin::ContentImage(choices[i].image));
        picture->setAlignment(Qt::AlignCenter);
        picture->setMinimumHeight(52);
        auto* radio = new QRadioButton(choices[i].text);
        radio->setObjectName(QString("choice%1").arg(i));
        m_choices->addButton(radio, i);
        cell->addWidget(picture);
        cell->addWidget(radio, 0, Qt::AlignHCenter);
        row->addLayout(cell, 1);
    }
    layout->addLayout(row);

    auto* folderRow = new QHBoxLayout;
    m_edit = new QLineEdit(PathText(DocumentsFolder()));
    m_edit->setObjectName("folderEdit");
    m_edit->setAccessibleName(TextOr("access_sync_folder_path"));
    m_browse = new DWImageButton(DWSkin::Image("Browse_Normal.png"), DWSkin::Image("Browse_Normal.png"),
                                 DWSkin::Image("Browse_Selected.png"), "...", this);
    m_browse->setObjectName("browse");
    m_browse->setToolTip(TextOr("sync_select_folder_title"));
    folderRow->addWidget(m_edit, 1);
    folderRow->addWidget(m_browse);
    layout->addLayout(folderRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(TextOr("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(TextOr("cancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &KWSyncFolder::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &KWSyncFolder::reject);
    connect(m_browse, &QAbstractButton::clicked, this, &KWSyncFolder::OnBrowse);
    connect(m_choices, &QButtonGroup::idToggled, this, [this](int, bool) {
        const bool own = CurrentChoice() == kOwnFolder;
        m_browse->setEnabled(own);
        m_edit->setEnabled(own);
    });

    setMinimumWidth(470);
    SetChoice(kDesktop);
    m_choices->button(kDesktop)->setFocus();
}

fs::path KWSyncFolder::DesktopFolder()
{
    return KMSystem::GetDesktopFolder();
}

fs::path KWSyncFolder::DocumentsFolder()
{
    return KMSystem::GetDocumentsFolder();
}

void KWSyncFolder::SetChoice(Choice choice)
{
    m_choices->button(choice)->setChecked(true);
}

KWSyncFolder::Choice KWSyncFolder::CurrentChoice() const
{
    const int id = m_choices->checkedId();
    return id < 0 ? kDesktop : static_cast<Choice>(id);
}

QString KWSyncFolder::FolderText() const
{
    return m_edit->text();
}

bool KWSyncFolder::BrowseEnabled() const
{
    return m_browse->isEnabled();
}

void KWSyncFolder::OnBrowse()
{
    QFileDialog picker(this, TextOr("sync_select_folder_title"), m_edit->text());
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly, true);
    picker.setLabelText(QFileDialog::Accept, TextOr("select"));
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return;
    IgnoreResult(AcceptBrowsed(PathOfText(picker.selectedFiles().first())),
                 "a refused folder has been shown; the field keeps the one before");
}

bool KWSyncFolder::AcceptBrowsed(const fs::path& folder)
{
    const halvex::Status check = halvex::CheckBrowsedFolder(folder, m_driveFolder, m_probe);
    if (!check) {
        KWMsgBox::Show(this, KXStrings::GetString(check.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
        return false;
    }
    m_edit->setText(PathText(folder));
    return true;
}

fs::path KWSyncFolder::FolderOf(Choice choice) const
{
    switch (choice) {
    case kDesktop: return DesktopFolder();
    case kDocuments: return DocumentsFolder();
    case kOwnFolder: break;
    }
    return PathOfText(m_edit->text().trimmed()).lexically_normal();
}

void KWSyncFolder::accept()
{
    const Choice choice = CurrentChoice();
    fs::path folder = FolderOf(choice);
    std::error_code ec;
    // A fresh account may have no Desktop or Documents folder yet.
    if (choice != kOwnFolder && !folder.empty())
        fs::create_directories(folder, ec);
    // A typed folder gets the same rules as a browsed one: a folder that is
    // missing or on a stick would only fail later, at every sync.
    const halvex::Status check = halvex::CheckBrowsedFolder(folder, m_driveFolder, m_probe);
    if (!check) {
        KWMsgBox::Show(this, KXStrings::GetString(check.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }
    bool accepted = false;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        halvex::app::SyncUiCallback asker(this);
        accepted = halvex::ConfirmFolderSize(folder, m_probe, asker);
        QGuiApplication::restoreOverrideCursor();
    }
    if (!accepted)
        return;
    m_pathChosen = folder;
    QDialog::accept();
}

void KWSyncFolder::reject()
{
    if (KWMsgBox::Show(this, KXStrings::GetString("sync_folder_cancel"), KWMsgBox::kCaution, KWMsgBox::kYesNo,
                       KWMsgBox::kIdNo) == KWMsgBox::kIdYes)
        QDialog::reject();
}
