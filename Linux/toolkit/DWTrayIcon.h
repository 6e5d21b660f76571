#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

class QMenu;

// The notification-area icon. A single click opens the menu after 900 ms,
// so that a double click (which toggles the main window) can cancel it; a
// right click opens it at once. Whether the desktop has a notification area
// is asked again every few seconds, since one may come or go while the suite
// runs (a panel restarted, an extension switched on).
class DWTrayIcon : public QObject {
    Q_OBJECT

public:
    // Answers whether the desktop has a notification area now.
    using AreaProbe = std::function<bool()>;

    // Without a probe, the system's answer is used.
    DWTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent = nullptr, AreaProbe probe = {});
    ~DWTrayIcon() override;

    // False where the desktop has no notification area.
    bool Available() const;
    // Asks the probe now; emits availabilityChanged when the answer changed.
    void CheckAvailability();
    bool IsShown() const;
    void Show();
    void Remove();
    void SetToolTip(const QString& text);
    // Where the program cannot pop a menu beside the icon (Wayland), the
    // desktop draws this menu itself from its D-Bus copy; a click on the
    // icon then asks for the window (doubleClicked) instead of a menu.
    void SetDesktopMenu(QMenu* menu);

    // Test hooks: the same paths as the icon's own clicks.
    void SimulateClick() { OnActivated(QSystemTrayIcon::Trigger); }
    void SimulateDoubleClick() { OnActivated(QSystemTrayIcon::DoubleClick); }
    void SimulateContext() { OnActivated(QSystemTrayIcon::Context); }
    bool MenuPending() const { return m_timerClick.isActive(); }

signals:
    void menuRequested();
    void doubleClicked();
    void availabilityChanged(bool available);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon* m_icon;
    QTimer m_timerClick;  // timer 1 of the main window
    QTimer m_timerProbe;
    AreaProbe m_probe;
    bool m_bDesktopMenu = false;
    bool m_bAvailable;
};
