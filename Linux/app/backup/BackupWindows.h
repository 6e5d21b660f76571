#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/backup/BackupListSort.h"
#include "toolkit/DWWorkDlg.h"
#include "backup/BackupCallbacks.h"
#include "backup/BackupProfile.h"
#include "backup/BackupProfileStore.h"
#include "backup/BackupStrings.h"
#include "backup/FileRecords.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class DWProgressBar;
class KWMainApp;

namespace halvex::app {

// What every backup window shares: the string table, the profile store, the
// current profile and the drive. Held by the backup window; the child windows
// reach it through their owner.
struct BackupSession {
    BackupSession(const std::filesystem::path& dataFolder, std::filesystem::path drive, std::uint64_t cluster,
                  std::string identityText);

    QString Message(int number) const { return QString::fromStdString(strings.Message(number)); }
    QString Label(int number) const { return QString::fromStdString(strings.Label(number)); }
    std::filesystem::path BackupFolder() const { return driveRoot / "Backup"; }
    std::filesystem::path CurrentProfilePath() const { return store.ProfilePath(store.CurrentProfile()); }

    BackupStrings strings;
    BackupProfileStore store;
    BackupProfile profile;
    std::filesystem::path driveRoot;
    std::uint64_t clusterSize = 0;
    std::string identity;
    std::filesystem::path desktopFolder;
};

// The engine's callbacks seen from a window: progress and texts are posted to
// the window's thread; messages and questions block the worker until the box
// on the window's thread is answered. Never touches a widget itself.
class WindowRunView : public BackupRunView {
public:
    explicit WindowRunView(QWidget* window) : m_window(window) {}
    std::function<void(std::uint64_t, std::uint64_t)> onProgress;
    std::function<void(const QString&)> onStatus;
    std::function<void()> onEnableCancel;

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override;
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(Question question, const std::string& text) override;
    void EnableCancel() override;

private:
    QWidget* m_window;
};

// A modal window whose work runs on a worker thread. It is seen for a moment
// before the run starts, and closes when the run has ended.
class KWRunDlg : public DWWorkDlg {
    Q_OBJECT
public:
    KWRunDlg(QWidget* owner, BackupSession& session, const QString& title);
    // Shows the window and runs the work behind it; back when it has ended.
    void Execute();
    bool Started() const { return m_started; }
    QPushButton* CancelButton() const { return m_cancel; }
    BackupRunView& View() { return m_view; }
    void reject() override;  // before the run: closes at once

protected:
    virtual void Work() = 0;  // worker thread
    void OnCancel() override;  // Cancel and Escape: the run stops between files
    void SetDestinationText(const QString& text);

    BackupSession& m_session;
    WindowRunView m_view;
    DWProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_destination = nullptr;
    QPushButton* m_cancel = nullptr;

private:
    bool m_started = false;
};

class KWBackupProcessDlg : public KWRunDlg {
    Q_OBJECT
public:
    KWBackupProcessDlg(QWidget* owner, BackupSession& session);
    int ResultMessage() const { return m_result; }

protected:
    void Work() override;

private:
    std::atomic<int> m_result{0};
};

class KWRestoreProcessDlg : public KWRunDlg {
    Q_OBJECT
public:
    KWRestoreProcessDlg(QWidget* owner, BackupSession& session, std::vector<std::filesystem::path> pool);

protected:
    void Work() override;

private:
    std::vector<std::filesystem::path> m_pool;
};

// Shown while the configuration window's file list is collected.
class KWUpdateWaitDialog : public DWWorkDlg {
    Q_OBJECT
public:
    KWUpdateWaitDialog(QWidget* owner, const BackupStrings& strings);
    // Runs work on a worker while the window is shown; back when it is done.
    void RunWhile(const std::function<void()>& work);
};

class KWBackupConfigureDlg;

class KWCreateCatDlg : public QDialog {
    Q_OBJECT
public:
    KWCreateCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile,
                   std::vector<QString> shownNames);
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* TypesEdit() const { return m_types; }
    // Checks the fields; on success the category is added to the profile.
    bool Save();

private:
    QString Message(int number) const { return QString::fromStdString(m_strings.Message(number)); }
    const BackupStrings& m_strings;
    BackupProfile& m_profile;
    std::vector<QString> m_shownNames;
    QLineEdit* m_name;
    QLineEdit* m_types;
};

class KWEditCatDlg : public QDialog {
    Q_OBJECT
public:
    KWEditCatDlg(QWidget* owner, const BackupStrings& strings, BackupProfile& profile);
    QComboBox* Categories() const { return m_categories; }
    QLineEdit* TypesEdit() const { return m_types; }
    QListWidget* TypeList() const { return m_list; }
    bool AddTypes();
    void RemoveType();
    void DeleteCategory();

private:
    void ShowCategory(int index);
    UserCategory* Current();
    QString Message(int number) const { return QString::fromStdString(m_strings.Message(number)); }
    bool AskSure();

    const BackupStrings& m_strings;
    BackupProfile& m_profile;
    QComboBox* m_categories;
    QLineEdit* m_types;
    QListWidget* m_list;
};

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

class KWRestoreChildDialog : public QDialog {
    Q_OBJECT
public:
    KWRestoreChildDialog(QWidget* owner, BackupSession& session);
    QTreeWidget* FolderTree() const { return m_tree; }
    QTreeWidget* FileList() const { return m_files; }
    QPushButton* RestoreButton() const { return m_restore; }
    QLineEdit* OtherEdit() const { return m_other; }
    QPushButton* BrowseButton() const { return m_browse; }
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
    QLineEdit* m_other;
    QPushButton* m_browse;
    QPushButton* m_restore;
    std::filesystem::path m_folder;
    std::vector<FileDescrItem> m_rows;
    BackupListSort m_sort;
};

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
    // Shows why the current profile cannot be used; false when it can.
    bool ShowReadProblem(BackupProfileStore::ReadResult read);

    BackupSession& m_session;
    std::vector<int> m_numbers;
    QListWidget* m_list;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QPushButton* m_backup;
    QPushButton* m_restoreButton;
};

}  // namespace halvex::app
