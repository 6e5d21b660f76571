#pragma once

#include <QString>

#include <atomic>
#include <filesystem>
#include <vector>

#include "app/backup/BackupSession.h"
#include "app/backup/WindowRunView.h"
#include "toolkit/DWWorkDlg.h"
#include "util/Result.h"

class QLabel;
class QPushButton;
class DWProgressBar;

namespace halvex::app {

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
    virtual void Work() = 0;   // worker thread
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
    // The set's original folder when it may be restored into: shown, checked
    // and, unless this user backed the set up from it here, agreed to.
    // Worker thread; a refusal has been shown.
    Result<std::filesystem::path> AllowedOriginalFolder();

    std::vector<std::filesystem::path> m_pool;
};

}  // namespace halvex::app
