#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "app/main/MainCommand.h"

class QAbstractButton;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QToolButton;
class DWProgressBar;
class DWTrayIcon;
class KWMainApp;
class MountNotifier;

// The main window: the drive's name and space, the tools, and the
// notification-area icon through which the suite lives while hidden.
class KWPelloryDlg : public QWidget {
    Q_OBJECT

public:
    KWPelloryDlg(KWMainApp& app, bool setupCompletedNow, QWidget* parent = nullptr);
    ~KWPelloryDlg() override;

    // Opening: place, show (or hide at once when "ShowMain" is off), and
    // offer the sync after a first-run setup.
    void Open();

    // The one handler of every command of the window, its menus and the tray.
    void OnCommand(int id);

    // A second start of the program asked for this window.
    void ShowFromSecondStart(const QString& activationToken = {});

    // Called when the mounts change: ends the program when the drive is gone.
    void CheckDriveRemoved();

    void RefreshDriveSpace();

    // Introspection for tests and the screenshot target.
    bool ToolWindowOpen() const { return !m_bToolFlag; }
    QMenu* BuildTrayMenu();
    DWTrayIcon* TrayIcon() const { return m_tray; }
    // Where the desktop has no notification area, the window carries the
    // tray menu's commands in this button.
    QToolButton* MenuButton() const { return m_btnMenu; }
    QMenu* WindowMenu() const { return m_windowMenu; }
    QString DriveLinkText() const;
    QString DriveSpaceToolTip() const;
    std::int64_t DriveBarPosition() const { return m_nLastUsedKB; }
    bool CloseHides() const;
    bool Exiting() const { return m_bExiting; }
    // While true, a drop command only ends the guard: the click that closed
    // a drop menu does not open it again.
    bool DropGuardActive() const { return m_timerDropGuard.isActive(); }

    // Test seam: replaces what a command opens (sync, backup, prefs, ...).
    void SetToolRunner(std::function<void(int command)> runner) { m_fnToolRunner = std::move(runner); }

signals:
    void driveRemoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;  // the drive link at the keyboard

private:
    void BuildControls();
    // The menus and the commands live in KWPelloryCommands.cpp.
    void FillCommandMenu(QMenu* menu);
    // The tray came or went: the menu button and the close button follow.
    void FollowTray(bool available);
    bool TrayShown() const;
    // Hides the window into the tray, or minimises it where there is none.
    void HideMain();
    QAbstractButton* MakeMainButton(const QString& imageBase, const QString& label, int command);
    void Place();
    void ToggleMain();
    void ShowDropMenu(int dropCommand);
    void RunTool(const std::function<void()>& tool);
    void OpenTool(int command);
    void ShowAbout();
    void OpenHelp();
    void OpenWeb(const char* address);
    void Exit();
    void WatchDrive();

    KWMainApp& m_app;
    bool m_bSetupCompletedNow;
    bool m_bToolFlag = true;  // true while no tool window is open
    bool m_bExiting = false;
    bool m_bOpened = false;
    std::int64_t m_nLastUsedKB = -1;

    QAbstractButton* m_btnSync = nullptr;
    QAbstractButton* m_btnSyncDrop = nullptr;
    QAbstractButton* m_btnBackup = nullptr;
    QAbstractButton* m_btnBackupDrop = nullptr;
    QAbstractButton* m_btnPrefs = nullptr;
    QAbstractButton* m_btnWelcome = nullptr;
    QAbstractButton* m_btnLogo = nullptr;
    QToolButton* m_btnMenu = nullptr;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_desktopTrayMenu = nullptr;  // Wayland only
    QLabel* m_lblDrivePicture = nullptr;
    QLabel* m_lblDriveLink = nullptr;
    DWProgressBar* m_barSpace = nullptr;
    struct DrawnLabel {
        QRect rect;
        QString text;
    };
    std::vector<DrawnLabel> m_labels;

    DWTrayIcon* m_tray = nullptr;
    QPointer<QMenu> m_trayMenu;
    MountNotifier* m_mountWatcher = nullptr;
    QFileSystemWatcher* m_fsWatcher = nullptr;
    QTimer m_timerDropGuard;     // timer 3: a click that closed a drop menu does not reopen it
    QTimer m_timerInstantSync;   // timer 4
    QTimer m_timerHide;          // timer 5
    QTimer m_timerSpaceRefresh;  // debounces file-system changes on the drive
    QTimer m_timerSpacePoll;     // changes deep in the drive that no watch reports
    std::function<void(int)> m_fnToolRunner;
};
