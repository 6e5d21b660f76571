#include "toolkit/DWTrayIcon.h"

#include <QMenu>

namespace {
constexpr int kProbeIntervalMs = 3000;
}  // namespace

DWTrayIcon::DWTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent, AreaProbe probe)
    : QObject(parent),
      m_icon(new QSystemTrayIcon(icon, this)),
      m_probe(probe ? std::move(probe) : AreaProbe(&QSystemTrayIcon::isSystemTrayAvailable)),
      m_bAvailable(m_probe())
{
    m_timerProbe.setInterval(kProbeIntervalMs);
    connect(&m_timerProbe, &QTimer::timeout, this, &DWTrayIcon::CheckAvailability);
    m_timerProbe.start();
    m_icon->setToolTip(toolTip);
    m_timerClick.setSingleShot(true);
    m_timerClick.setInterval(900);
    connect(&m_timerClick, &QTimer::timeout, this, &DWTrayIcon::menuRequested);
    connect(m_icon, &QSystemTrayIcon::activated, this, &DWTrayIcon::OnActivated);
}

DWTrayIcon::~DWTrayIcon()
{
    Remove();
}

bool DWTrayIcon::Available() const
{
    return m_bAvailable;
}

void DWTrayIcon::CheckAvailability()
{
    const bool available = m_probe();
    if (available == m_bAvailable)
        return;
    m_bAvailable = available;
    emit availabilityChanged(available);
}

bool DWTrayIcon::IsShown() const
{
    return m_icon->isVisible();
}

void DWTrayIcon::Show()
{
    m_icon->show();
}

void DWTrayIcon::Remove()
{
    m_timerClick.stop();
    m_icon->hide();
}

void DWTrayIcon::SetToolTip(const QString& text)
{
    m_icon->setToolTip(text);
}

void DWTrayIcon::SetDesktopMenu(QMenu* menu)
{
    m_bDesktopMenu = menu != nullptr;
    m_icon->setContextMenu(menu);
}

void DWTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (m_bDesktopMenu) {
        // The desktop shows the menu on its own; a click is for the window.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit doubleClicked();
        return;
    }
    switch (reason) {
    case QSystemTrayIcon::Trigger: m_timerClick.start(); break;
    case QSystemTrayIcon::DoubleClick:
        m_timerClick.stop();
        emit doubleClicked();
        break;
    case QSystemTrayIcon::Context:
        m_timerClick.stop();
        emit menuRequested();
        break;
    default: break;
    }
}
