#include "app/main/KWPelloryDlg.h"

#include <QAbstractButton>
#include <QMenu>
#include <QUrl>

#include <filesystem>

#include "toolkit/AppText.h"
#include "app/main/KWAboutDlg.h"
#include "app/main/KWMainApp.h"
#include "app/main/PlatformActions.h"
#include "app/main/ToolWindows.h"
#include "strings/KXStrings.h"
#include "toolkit/PathText.h"

// The main window's commands: the tray menu, the window's own menu and the
// drop menus of its buttons, and what each command opens.

using namespace halvex::app;

QMenu* KWPelloryDlg::BuildTrayMenu()
{
    if (m_trayMenu)
        m_trayMenu->deleteLater();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_trayMenu = menu;
    FillCommandMenu(menu);
    return menu;
}

void KWPelloryDlg::FillCommandMenu(QMenu* menu)
{
    menu->clear();
    for (QMenu* submenu : menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        submenu->deleteLater();
    const bool enabled = m_bToolFlag;
    auto add = [&](QMenu* into, const QString& text, int command) {
        // Run once the menu has closed: the window's menu button holds its
        // menu in a loop of its own, and a tool window is modal.
        QAction* action = into->addAction(
            text, this, [this, command] { QTimer::singleShot(0, this, [this, command] { OnCommand(command); }); });
        action->setEnabled(enabled);
        return action;
    };

    QAction* toggle = add(menu, TextOr(isVisible() && !isMinimized() ? "close_main" : "open_main"), kCmdToggleMain);
    menu->setDefaultAction(toggle);
    menu->addSeparator();
    QMenu* sync = menu->addMenu(TextOr("sync_window_title"));
    sync->setEnabled(enabled);
    add(sync, TextOr("sync_normal"), kCmdSyncNormal);
    sync->addSeparator();
    add(sync, TextOr("sync_instant"), kCmdSyncInstant);
    menu->addSeparator();
    add(menu, TextOr("prefs_window_title") + "...", kCmdPrefs);
    menu->addSeparator();
    QMenu* help = menu->addMenu(TextOr("help"));
    help->setEnabled(enabled);
    add(help, TextOr("help_doc"), kCmdHelp);
    add(help, TextOr("check_update"), kCmdCheckUpdate);
    help->addSeparator();
    add(help, TextOr("web_feedback"), kCmdWebForum);
    help->addSeparator();
    add(help, TextOr("web_support"), kCmdWebSupport);
    add(help, TextOr("web_home"), kCmdWebHome);
    help->addSeparator();
    add(help, TextOr("about"), kCmdAbout);
    menu->addSeparator();
    add(menu, TextOr("exit"), kCmdExit);
}

void KWPelloryDlg::ShowDropMenu(int dropCommand)
{
    if (m_timerDropGuard.isActive()) {
        m_timerDropGuard.stop();
        return;
    }
    QAbstractButton* button = dropCommand == kCmdSyncDrop ? m_btnSyncDrop : m_btnBackupDrop;
    QMenu menu(this);
    auto add = [&](const QString& text, int command) {
        menu.addAction(text, this,
                       [this, command] { QTimer::singleShot(0, this, [this, command] { OnCommand(command); }); });
    };
    if (dropCommand == kCmdSyncDrop) {
        add(TextOr("sync_normal"), kCmdSyncNormal);
        menu.addSeparator();
        add(TextOr("sync_instant"), kCmdSyncInstant);
        menu.addSeparator();
        add(TextOr("sync_window_title") + " " + TextOr("prefs_window_title") + "...", kCmdSyncPrefs);
    } else {
        add(TextOr("backup_backup"), kCmdBackupRun);
        menu.addSeparator();
        add(TextOr("backup_restore"), kCmdBackupRestore);
        menu.addSeparator();
        add(TextOr("backup_config"), kCmdBackupConfigure);
    }
    button->setDown(true);
    menu.exec(button->mapToGlobal(QPoint(0, button->height())));
    button->setDown(false);
    m_timerDropGuard.start();
}

void KWPelloryDlg::RunTool(const std::function<void()>& tool)
{
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide();
    m_bToolFlag = false;
    tool();
    m_bToolFlag = true;
    // Without a tray, a window left hidden could not be reached again.
    if ((wasVisible || !TrayShown()) && !m_bExiting) {
        show();
        raise();
        activateWindow();
    }
}

void KWPelloryDlg::OpenTool(int command)
{
    if (m_fnToolRunner) {
        RunTool([&] { m_fnToolRunner(command); });
        return;
    }
    switch (command) {
    case kCmdSyncNormal:
    case kCmdSyncButton: RunTool([&] { RunSyncWindow(this, m_app, SyncMode::Normal); }); break;
    case kCmdSyncInstant: RunTool([&] { RunSyncWindow(this, m_app, SyncMode::Instant); }); break;
    case kCmdBackupButton:
    case kCmdBackupRun: RunTool([&] { RunBackupWindow(this, m_app, BackupView::Backup); }); break;
    case kCmdBackupRestore: RunTool([&] { RunBackupWindow(this, m_app, BackupView::Restore); }); break;
    case kCmdBackupConfigure: RunTool([&] { RunBackupWindow(this, m_app, BackupView::Configure); }); break;
    case kCmdSyncPrefs:
    case kCmdPrefs:
    case kCmdPrefsButton: {
        // The preferences are modal over the main window instead of replacing it.
        m_bToolFlag = false;
        RunPrefsWindow(this, m_app, command == kCmdSyncPrefs ? PrefsPage::Sync : PrefsPage::General);
        m_bToolFlag = true;
        break;
    }
    case kCmdWelcome: {
        hide();
        m_bToolFlag = false;
        const StartupChoice choice = RunStartupWindow(this, m_app, false);
        m_bToolFlag = true;
        if (choice == StartupChoice::Sync)
            RunTool([&] { RunSyncWindow(this, m_app, SyncMode::Normal); });
        else if (choice == StartupChoice::Backup)
            RunTool([&] { RunBackupWindow(this, m_app, BackupView::Backup); });
        else
            show();
        break;
    }
    default: break;
    }
}

void KWPelloryDlg::OnCommand(int id)
{
    if (m_bExiting)
        return;
    switch (id) {
    case kCmdToggleMain: ToggleMain(); break;
    case kCmdSyncNormal:
    case kCmdSyncButton:
    case kCmdSyncInstant:
    case kCmdSyncPrefs:
    case kCmdPrefs:
    case kCmdPrefsButton:
    case kCmdBackupButton:
    case kCmdBackupRun:
    case kCmdBackupRestore:
    case kCmdBackupConfigure:
    case kCmdWelcome:
        if (m_bToolFlag)
            OpenTool(id);
        break;
    case kCmdSyncDrop:
    case kCmdBackupDrop: ShowDropMenu(id); break;
    case kCmdHelp: OpenHelp(); break;
    case kCmdWebSupport: OpenWeb(kWebSupport); break;
    case kCmdWebForum: OpenWeb(kWebForum); break;
    case kCmdWebHome:
    case kCmdLogo: OpenWeb(kWebHome); break;
    case kCmdCheckUpdate:
        m_bToolFlag = false;
        CheckForUpdates(this, m_app);
        m_bToolFlag = true;
        break;
    case kCmdAbout: ShowAbout(); break;
    case kCmdExit:
    case kCmdExitButton: Exit(); break;
    case kCmdHide: HideMain(); break;
    case kCmdDriveLink: halvex::app::RevealFolder(m_app.Paths().RunPath()); break;
    default: break;
    }
}

void KWPelloryDlg::ShowAbout()
{
    KWAboutDlg about(this);
    about.exec();
}

void KWPelloryDlg::OpenHelp()
{
    const std::filesystem::path help = KXStrings::LanguageFolderPath() / "Help" / "index.html";
    halvex::app::OpenUrl(QUrl::fromLocalFile(PathText(help)).toString());
}

void KWPelloryDlg::OpenWeb(const char* address)
{
    halvex::app::OpenUrl(QString::fromLatin1(address));
}
