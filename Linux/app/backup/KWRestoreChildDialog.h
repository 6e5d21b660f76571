#pragma once

#include <QDialog>
#include <QString>

#include <filesystem>
#include <string>
#include <vector>

#include "app/backup/BackupListSort.h"
#include "app/backup/BackupSession.h"
#include "backup/BackupProfile.h"
#include "backup/FileRecords.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace halvex::app {

class KWRestoreChildDialog : public QDialog {
    Q_OBJECT
public:
    KWRestoreChildDialog(QWidget* owner, BackupSession& session);
    QTreeWidget* FolderTree() const { return m_tree; }
    QTreeWidget* FileList() const { return m_files; }
    QPushButton* RestoreButton() const { return m_restore; }
    QLineEdit* OtherEdit() const { return m_other; }
    QPushButton* BrowseButton() const { return m_browse; }
    // The original folder of the set of the folder selected in the tree.
    QLabel* OriginalFolderLabel() const { return m_originalFolder; }
    void SelectChoice(RestoreChoice choice);
    // What Browse does with the folder picked: it becomes the other folder,
    // with its trailing separator, and is stored in the profile at once.
    void ChooseOtherFolder(const QString& folder);
    // A click on a column header: name, size, type or date; again reverses.
    void SortByColumn(int column);
    // Selects the tree folder at this path below the backup folder.
    bool SelectFolder(const std::filesystem::path& folder);
    // The checks of the Restore button; true when the restore ran.
    bool StartRestore();

private:
    void FillTree(QTreeWidgetItem* parent, const std::filesystem::path& folder, int depth);
    void FillFiles();
    void ShowFiles();
    RestoreChoice Choice() const;
    // The "Restore RestorePath" text of a choice.
    std::string RestoreFolderText(RestoreChoice choice) const;
    bool StoreRestoreSettings(RestoreChoice choice);

    BackupSession& m_session;
    QTreeWidget* m_tree;
    QTreeWidget* m_files;
    QRadioButton* m_desktop;
    QRadioButton* m_original;
    QRadioButton* m_otherChoice;
    QLabel* m_originalFolder;
    QLineEdit* m_other;
    QPushButton* m_browse;
    QPushButton* m_restore;
    std::filesystem::path m_folder;
    std::vector<FileDescrItem> m_rows;
    BackupListSort m_sort;
};

}  // namespace halvex::app
