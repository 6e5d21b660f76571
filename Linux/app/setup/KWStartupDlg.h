#pragma once

#include <QDialog>
#include <QPixmap>

#include "app/main/ToolWindows.h"

class QPushButton;

// The welcome window. At the first start it leads to the setup: Continue
// ends it with Accepted; Exit, the close button and Escape with Rejected.
// Opened again later it offers the tools instead: File Sync or Backup end it
// with Accepted and that choice, Cancel returns to the main window.
class KWStartupDlg : public QDialog {
    Q_OBJECT

public:
    explicit KWStartupDlg(QWidget* owner, bool atFirstRun);

    QPushButton* ContinueButton() const { return m_btnContinue; }
    QPushButton* ExitButton() const { return m_btnExit; }
    QPushButton* SyncButton() const { return m_btnSync; }
    QPushButton* BackupButton() const { return m_btnBackup; }
    halvex::app::StartupChoice Choice() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_background;
    QPushButton* m_btnContinue;
    QPushButton* m_btnExit;
    QPushButton* m_btnSync;
    QPushButton* m_btnBackup;
    halvex::app::StartupChoice m_choice = halvex::app::StartupChoice::Continue;
};
