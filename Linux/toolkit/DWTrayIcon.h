#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

class QMenu;

// The notification-area icon. A single click opens the menu after 900 ms,
// so that a double click (which toggles the main window) can cancel it; a
// right click opens it at once.
class DWTrayIcon : public QObject {
    Q_OBJECT

public:
    DWTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent = nullptr);
    ~DWTrayIcon() override;

    // False where the desktop has no notification area.
    static bool Available();
    bool IsShown() const;
    void Show();
    void Remove();
    void SetToolTip(const QString& text);

    // Test hooks: the same paths as the icon's own clicks.
    void SimulateClick() { OnActivated(QSystemTrayIcon::Trigger); }
    void SimulateDoubleClick() { OnActivated(QSystemTrayIcon::DoubleClick); }
    void SimulateContext() { OnActivated(QSystemTrayIcon::Context); }
    bool MenuPending() const { return m_timerClick.isActive(); }

signals:
    void menuRequested();
    void doubleClicked();

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon* m_icon;
    QTimer m_timerClick;  // timer 1 of the main window
};
