#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "app/autorun/AutoRunControl.h"
#include "sync/SyncFolderPair.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// What the preferences pages reach beyond the registry.
struct PrefsContext {
    halvex::SyncPlace sync;
    // The folder picker with the chooser's rules; nothing when cancelled.
    std::function<std::optional<std::filesystem::path>(QWidget* owner, const std::filesystem::path& start)> browse;
    halvex::app::AutoRunControl autoRun;
    // Records a folder stored from the page as this user's own choice here.
    std::function<void(const std::filesystem::path&)> recordSyncChoice;
};

// The General page: "ShowMain" and "CheckUpdate".
class KWPrefsGeneral : public QWidget {
    Q_OBJECT

public:
    KWPrefsGeneral();
    // The Set calls of OK; true when one changed a value.
    bool Save();

    QCheckBox* ShowMainBox() const { return m_showMain; }
    QCheckBox* CheckUpdateBox() const { return m_checkUpdate; }

private:
    QCheckBox* m_showMain;
    QCheckBox* m_checkUpdate;
};

// The Sync page: "SyncLog", "SyncSubfolders" and this computer's sync folder.
class KWPrefsSync : public QWidget {
    Q_OBJECT

public:
    explicit KWPrefsSync(const PrefsContext& context);
    // "SyncLog", then the folder (stored in the sync index by itself), then
    // "SyncSubfolders"; true when a preference changed.
    bool Save();

    QCheckBox* SyncLogBox() const { return m_syncLog; }
    QCheckBox* SubfoldersBox() const { return m_subfolders; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QPushButton* BrowseButton() const { return m_browse; }

private:
    const PrefsContext& m_context;
    QCheckBox* m_syncLog;
    QCheckBox* m_subfolders;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    std::string m_strStored;
};

// The Advanced page: the installed agent, "AskAutoRun" and the drives the
// agent starts the suite from without asking.
class KWPrefsAdvanced : public QWidget {
    Q_OBJECT

public:
    explicit KWPrefsAdvanced(const PrefsContext& context);
    bool Save();
    // After the preferences are written: installs the agent and trusts this
    // drive, or removes the agent, when the box no longer matches it; then
    // forgets the drives taken off the list.
    void ApplyAutoRun();

    QCheckBox* AutoRunBox() const { return m_autoRun; }
    QCheckBox* AskBox() const { return m_ask; }
    QListWidget* TrustedList() const { return m_trusted; }
    QPushButton* ForgetButton() const { return m_forget; }

private:
    void ForgetSelected();

    const PrefsContext& m_context;
    QCheckBox* m_autoRun;
    QCheckBox* m_ask;
    QListWidget* m_trusted;
    QPushButton* m_forget;
    std::vector<halvex::DriveIdentity> m_drives;     // as listed, row by row
    std::vector<halvex::DriveIdentity> m_forgotten;  // forgotten on OK
    bool m_bAdministrator;
};
