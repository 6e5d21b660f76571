#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "app/backup/BackupListSort.h"
#include "app/backup/BackupSession.h"
#include "backup/BackupProfile.h"
#include "backup/FileRecords.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace halvex::app {

class KWBackupConfigureDlg : public QDialog {
    Q_OBJECT
public:
    KWBackupConfigureDlg(QWidget* owner, BackupSession& session, bool newProfile);

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* SourceEdit() const { return m_source; }
    QListWidget* CategoryList() const { return m_categoriesList; }
    QTreeWidget* FileList() const { return m_files; }
    QLabel* PathLabel() const { return m_path; }
    QPushButton* FiltersButton() const { return m_filters; }
    const BackupProfile& Profile() const { return m_profile; }
    BackupProfile& EditedProfile() { return m_profile; }

    // A click on the row of the category list, with the "All" rules.
    void ClickCategory(int row);
    void CreateCategory();
    void EditCategory();
    void ToggleFilters();
    void RefreshFiles();
    void SortByColumn(int column);
    // The checks and the writes of Save; true when the window may close.
    bool Save();
    int SavedNumber() const { return m_savedNumber; }

private:
    void FillCategories();
    bool CategoryChecked(int row) const;
    void ShowFiles();
    void ShowSelectedPath();
    void Browse();
    std::vector<QString> ShownNames() const;

    BackupSession& m_session;
    BackupProfile m_profile;
    bool m_newProfile;
    int m_savedNumber = 0;
    QLineEdit* m_name;
    QLineEdit* m_source;
    QListWidget* m_categoriesList;
    QPushButton* m_filters;
    QWidget* m_filePanel;
    QTreeWidget* m_files;
    QLabel* m_path;
    std::vector<FileDescrItemCat> m_rows;
    BackupListSort m_sort;
};

}  // namespace halvex::app
