#include "app/main/KWMainApp.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QToolButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fstream>

#include <unistd.h>

#include "AppFixture.h"
#include "toolkit/AppText.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/DWTrayIcon.h"
#include "toolkit/ScreenReader.h"
#include "app/main/KWPelloryDlg.h"
#include "app/main/MainCommand.h"
#include "strings/KXStrings.h"

namespace fs = std::filesystem;
using namespace halvex::app;

namespace {

class KWMainAppTest : public AppFixture {};

TEST_F(KWMainAppTest, StartsOnAnAssumedDriveAndShowsItsNameAndSpace)
{
    AcceptLicence();
    KWMainApp app;
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), KXStrings::GetString("main_window_title"));
    EXPECT_EQ(window->DriveLinkText().toStdString(), "STICK (" + m_drive.string() + ")");
    EXPECT_TRUE(window->DriveSpaceToolTip().contains("STICK")) << window->DriveSpaceToolTip().toStdString();
    EXPECT_GT(window->DriveBarPosition(), 0) << "a real file system has used space";
    // A screen reader hears the bar's used and free space, the same sizes the tip shows.
    auto* bar = window->findChild<DWProgressBar*>();
    ASSERT_NE(bar, nullptr);
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::ProgressBar);
    EXPECT_EQ(access->text(QAccessible::Name).toStdString(), KXStrings::GetString("access_drive_space"));
    const QString spoken = access->text(QAccessible::Description);
    const QStringList tipLines = window->DriveSpaceToolTip().split('\n');
    ASSERT_GE(tipLines.size(), 3);
    for (qsizetype line : {tipLines.size() - 2, tipLines.size() - 1}) {  // used, free
        const QString size = tipLines[line].section(':', 1).trimmed();
        EXPECT_FALSE(size.isEmpty());
        EXPECT_TRUE(spoken.contains(size)) << spoken.toStdString() << " lacks " << size.toStdString();
    }

    SaveScreenshot(*window, "main_window.png");
}

TEST_F(KWMainAppTest, EndsQuietlyWhenTheRunPathIsNotOnAUsbDrive)
{
    AcceptLicence();
    ::unsetenv("HALVEX_ASSUME_USB");
    KWMainApp app;
    EXPECT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::End);
    EXPECT_EQ(app.MainWindow(), nullptr);
}

TEST_F(KWMainAppTest, EndsWhenTheStringTableCannotBeRead)
{
    AcceptLicence();
    // A bundle whose resources have no language folder at all.
    fs::remove(m_drive / "HalvexDravane.app" / "Contents" / "Resources");
    fs::create_directories(m_drive / "HalvexDravane.app" / "Contents" / "Resources");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);  // keeps the failure box from blocking
    KWMainApp app;
    EXPECT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::End);
}

TEST_F(KWMainAppTest, ADataFolderThatCannotBeMadeIsReported)
{
    halvex::test::WriteFile(m_drive / "Halvex Data", "a file where the folder belongs");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    // Without settings the first-run welcome follows; closing it ends the start.
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* window = QApplication::activeModalWidget())
            window->close();
    });
    closer.start();
    KWMainApp app;
    EXPECT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::End);
    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(KXStrings::GetString("err_data_folder_create"))));
    EXPECT_TRUE(boxes[0].text.contains("Halvex Data: Not a directory")) << boxes[0].text.toStdString();
}

TEST_F(KWMainAppTest, EndsWithoutARunPath)
{
    KWMainApp app;
    EXPECT_EQ(app.StartUp({}), KWMainApp::StartResult::End) << "the test program is not in a bundle";
}

TEST_F(KWMainAppTest, CreatesThePreferenceFileSoThatItsLossMeansTheDriveIsGone)
{
    AcceptLicence();
    KWMainApp app;
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    EXPECT_TRUE(fs::exists(PrefsFile()));

    QSignalSpy removed(app.MainWindow(), &KWPelloryDlg::driveRemoved);
    app.MainWindow()->CheckDriveRemoved();
    EXPECT_EQ(removed.count(), 0) << "the drive is still there";
    fs::remove(PrefsFile());
    app.MainWindow()->CheckDriveRemoved();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_FALSE(app.MainWindow()->TrayIcon()->IsShown());
}

TEST_F(KWMainAppTest, SecondStartShowsAppRunningAndEnds)
{
    AcceptLicence();
    KWMainApp first;
    ASSERT_EQ(first.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    first.MainWindow()->hide();

    KXAppPrefs::Clear();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    // The desktop's activation token goes to the first copy, which sets it
    // where Qt's Wayland platform takes it; the second copy keeps none.
    qputenv("XDG_ACTIVATION_TOKEN", "token-from-desktop");
    KWMainApp second;
    EXPECT_EQ(second.StartUp(Arguments()), KWMainApp::StartResult::End);
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].text.toStdString(), KXStrings::GetString("app_running"));
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].icon, KWMsgBox::kNote);
    // The first copy shows its hidden window.
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.MainWindow()->isVisible(); }, 3000));
    EXPECT_EQ(qgetenv("XDG_ACTIVATION_TOKEN"), "token-from-desktop");
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

TEST_F(KWMainAppTest, ShowMainOffHidesTheWindowRightAway)
{
    AcceptLicence(false);
    KWMainApp app;
    app.SetTrayProbe([] { return true; });
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app.MainWindow()->isVisible(); }, 1000));
}

TEST_F(KWMainAppTest, ToolWindowGreysTheTrayMenuAndBlocksTheDoubleClick)
{
    AcceptLicence();
    KWMainApp app;
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();

    int opened = 0;
    bool greyed = false, hiddenMeanwhile = false;
    window->SetToolRunner([&](int command) {
        ++opened;
        EXPECT_EQ(command, kCmdSyncNormal);
        hiddenMeanwhile = !window->isVisible();
        QMenu* menu = window->BuildTrayMenu();
        greyed = true;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isEnabled())
                greyed = false;
        window->TrayIcon()->SimulateDoubleClick();  // must not show the main window
        EXPECT_FALSE(window->isVisible());
        window->OnCommand(kCmdSyncNormal);  // nor open a second tool
    });
    window->OnCommand(kCmdSyncNormal);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(greyed);
    EXPECT_TRUE(hiddenMeanwhile);
    EXPECT_TRUE(window->isVisible()) << "the main window comes back after the tool";
    for (QAction* action : window->BuildTrayMenu()->actions()) {
        if (!action->isSeparator()) {
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        }
    }
}

TEST_F(KWMainAppTest, TrayMenuFollowsTheWindowAndCommandsToggleIt)
{
    AcceptLicence();
    KWMainApp app;
    app.SetTrayProbe([] { return true; });
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();
    const auto firstText = [&] { return window->BuildTrayMenu()->actions().at(0)->text().toStdString(); };
    EXPECT_EQ(firstText(), KXStrings::GetString("close_main"));
    window->OnCommand(kCmdToggleMain);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(firstText(), KXStrings::GetString("open_main"));
    window->TrayIcon()->SimulateDoubleClick();
    EXPECT_TRUE(window->isVisible());

    // A single click opens the menu only after the double-click time.
    window->TrayIcon()->SimulateClick();
    EXPECT_TRUE(window->TrayIcon()->MenuPending());
    window->TrayIcon()->SimulateDoubleClick();
    EXPECT_FALSE(window->TrayIcon()->MenuPending());
}

TEST_F(KWMainAppTest, SetupJustCompletedOffersTheSyncAndNoOpensNothing)
{
    AcceptLicence();
    KWMainApp app;
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    // A fresh window told that setup has just been finished.
    KWPelloryDlg window(app, true);
    int opened = 0;
    window.SetToolRunner([&](int) { ++opened; });
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    window.Open();
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].text.toStdString(), KXStrings::GetString("sync_after_setup"));
    QTest::qWait(200);  // time for a sync that must not start (the offer's timer is 100 ms)
    EXPECT_EQ(opened, 0);

    KWPelloryDlg again(app, true);
    again.SetToolRunner([&](int command) { opened += command == kCmdSyncInstant; });
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    again.Open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened == 1; }, 1000)) << opened;
}

QStringList MenuTexts(QMenu* menu)
{
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        if (action->menu())
            texts << "[" + MenuTexts(action->menu()).join(",") + "]";
    }
    return texts;
}

bool AllGreyed(QMenu* menu)
{
    emit menu->aboutToShow();
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->isEnabled())
            return false;
    return true;
}

TEST_F(KWMainAppTest, WithoutANotificationAreaTheWindowCarriesTheMenuAndItsCloseEndsTheSuite)
{
    AcceptLicence(false);
    KWMainApp app;
    app.SetTrayProbe([] { return false; });
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();
    QTest::qWait(200);  // time for a hiding that must not come (ShowMain off hides after 100 ms)
    EXPECT_TRUE(window->isVisible()) << "ShowMain off would hide it beyond reach";
    EXPECT_FALSE(window->TrayIcon()->IsShown());
    ASSERT_TRUE(window->MenuButton()->isVisible());
    EXPECT_EQ(MenuTexts(window->WindowMenu()), MenuTexts(window->BuildTrayMenu()));
    const QString about = QString::fromStdString(KXStrings::GetString("about"));
    EXPECT_TRUE(MenuTexts(window->WindowMenu()).join(" ").contains(about));

    // A screen reader finds the open menu under the button, with its items
    // named, and opens it by the button's action.
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(window->MenuButton());
    ASSERT_TRUE(button && button->actionInterface());
    EXPECT_EQ(button->text(QAccessible::Name).toStdString(), SpokenText(TextOr("main_menu")).toStdString());
    EXPECT_EQ(button->childCount(), 0) << "closed";
    QStringList spoken;
    QAccessible::Role menuRole = QAccessible::NoRole;
    QTimer::singleShot(100, window, [&] {
        if (QAccessibleInterface* menu = button->childCount() == 1 ? button->child(0) : nullptr) {
            menuRole = menu->role();
            for (int i = 0; i < menu->childCount(); ++i)
                spoken << menu->child(i)->text(QAccessible::Name);
        }
        window->WindowMenu()->close();
    });
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return menuRole != QAccessible::NoRole; }, 2000)) << "the menu is in the tree";
    EXPECT_EQ(menuRole, QAccessible::PopupMenu);
    for (const char* key : {"close_main", "sync_window_title", "help", "exit"})
        EXPECT_TRUE(spoken.contains(SpokenText(TextOr(key)))) << key << " in " << spoken.join(", ").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->WindowMenu()->isVisible(); }, 2000));
    EXPECT_EQ(button->childCount(), 0);

    bool greyed = false;
    window->SetToolRunner([&](int) { greyed = AllGreyed(window->WindowMenu()); });
    window->OnCommand(kCmdSyncNormal);
    EXPECT_TRUE(greyed);
    EXPECT_FALSE(AllGreyed(window->WindowMenu()));

    window->OnCommand(kCmdToggleMain);
    EXPECT_TRUE(window->isVisible()) << "minimised, not hidden";
    window->OnCommand(kCmdToggleMain);
    window->close();
    EXPECT_TRUE(window->Exiting()) << "the close button quits as Exit does";
    EXPECT_FALSE(window->isVisible());
}

TEST_F(KWMainAppTest, ANotificationAreaThatComesAndGoesIsFollowed)
{
    AcceptLicence();
    bool area = false;
    KWMainApp app;
    app.SetTrayProbe([&area] { return area; });
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();
    EXPECT_TRUE(window->MenuButton()->isVisible());

    area = true;
    window->TrayIcon()->CheckAvailability();
    EXPECT_TRUE(window->TrayIcon()->IsShown());
    EXPECT_FALSE(window->MenuButton()->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible()) << "hidden in the notification area";
    EXPECT_FALSE(window->Exiting());

    area = false;
    window->TrayIcon()->CheckAvailability();
    EXPECT_FALSE(window->TrayIcon()->IsShown());
    EXPECT_TRUE(window->isVisible()) << "the window hidden in a vanished tray comes back";
    EXPECT_TRUE(window->MenuButton()->isVisible());
}

TEST_F(KWMainAppTest, DriveBarFollowsChangesDeepInTheDriveWhileShown)
{
    AcceptLicence();
    // Below the top folder, where no watch reaches. Made before the window
    // watches the drive, so no refresh of a new top folder can see the file
    // below: only the poll can.
    const fs::path deep = m_drive / "Documents" / "2026";
    fs::create_directories(deep);
    KWMainApp app;
    ASSERT_EQ(app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
    KWPelloryDlg* window = app.MainWindow();
    window->RefreshDriveSpace();
    const std::int64_t before = window->DriveBarPosition();
    {
        std::ofstream out(deep / "big.bin", std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 24; ++i)
            out << block;
    }
    ::sync();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->DriveBarPosition() >= before + 20 * 1024L; }, 6000));
}

}  // namespace
