#pragma once

#include <QDialog>

#include <filesystem>

#include "sync/SyncFolderPair.h"

class QButtonGroup;
class QLineEdit;
class DWImageButton;

// The chooser of this computer's sync folder: Desktop, Documents or a folder
// of the user's own, which must pass the drive rules. Cancel is confirmed.
class KWSyncFolder : public QDialog {
    Q_OBJECT

public:
    enum Choice { kDesktop = 0, kDocuments = 1, kOwnFolder = 2 };

    KWSyncFolder(QWidget* owner, std::filesystem::path driveFolder, halvex::SyncDriveProbe probe);

    std::filesystem::path getFolderPath() const { return m_pathChosen; }

    void SetChoice(Choice choice);
    Choice CurrentChoice() const;
    QString FolderText() const;
    bool BrowseEnabled() const;
    // A folder picked by browse: taken into the edit box only when it passes
    // the drive rules; otherwise the refusal is shown and the box keeps its text.
    bool AcceptBrowsed(const std::filesystem::path& folder);

    static std::filesystem::path DesktopFolder();
    static std::filesystem::path DocumentsFolder();

public slots:
    void accept() override;
    void reject() override;  // Cancel, the frame's close and Escape ask first

private:
    void OnBrowse();
    std::filesystem::path FolderOf(Choice choice) const;

    std::filesystem::path m_driveFolder;
    halvex::SyncDriveProbe m_probe;
    std::filesystem::path m_pathChosen;
    QButtonGroup* m_choices;
    QLineEdit* m_edit;
    DWImageButton* m_browse;
};
