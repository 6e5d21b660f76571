#include "toolkit/DWTrayIcon.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QIcon SomeIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

TEST(DWTrayIcon, ASingleClickOpensTheMenuOnceNoDoubleClickFollows)
{
    DWTrayIcon tray(SomeIcon(), QStringLiteral("tip"), nullptr, [] { return true; });
    QSignalSpy menus(&tray, &DWTrayIcon::menuRequested);
    QSignalSpy doubles(&tray, &DWTrayIcon::doubleClicked);
    tray.SimulateClick();
    EXPECT_TRUE(tray.MenuPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return menus.count() == 1; }, 3000));

    tray.SimulateClick();
    tray.SimulateDoubleClick();
    EXPECT_FALSE(tray.MenuPending());
    EXPECT_EQ(doubles.count(), 1);
    tray.SimulateContext();
    EXPECT_EQ(menus.count(), 2);
}

// On Wayland the desktop draws the menu: the program must neither pop one
// of its own nor leave a click without effect.
TEST(DWTrayIcon, WithADesktopMenuClicksAskForTheWindowAndNoMenuIsPopped)
{
    DWTrayIcon tray(SomeIcon(), QStringLiteral("tip"), nullptr, [] { return true; });
    QMenu menu;
    menu.addAction(QStringLiteral("Exit"));
    tray.SetDesktopMenu(&menu);
    QSignalSpy menus(&tray, &DWTrayIcon::menuRequested);
    QSignalSpy doubles(&tray, &DWTrayIcon::doubleClicked);
    tray.SimulateClick();
    EXPECT_FALSE(tray.MenuPending());
    EXPECT_EQ(doubles.count(), 1);
    tray.SimulateContext();
    tray.SimulateDoubleClick();
    EXPECT_EQ(doubles.count(), 2);
    QTest::qWait(1100);
    EXPECT_EQ(menus.count(), 0);
}

}  // namespace
