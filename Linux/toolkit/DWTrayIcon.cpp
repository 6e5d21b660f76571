#include "DWTrayIcon.h"

DWTrayIcon::DWTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(icon, this))
{
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

bool DWTrayIcon::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
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

void DWTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        m_timerClick.start();
        break;
    case QSystemTrayIcon::DoubleClick:
        m_timerClick.stop();
        emit doubleClicked();
        break;
    case QSystemTrayIcon::Context:
        m_timerClick.stop();
        emit menuRequested();
        break;
    default:
        break;
    }
}
