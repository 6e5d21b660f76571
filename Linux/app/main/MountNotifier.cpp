#include "app/main/MountNotifier.h"

#include <QSocketNotifier>
#include <QTimer>

#include "toolkit/PathText.h"

QString MountNotifier::DefaultMountTable()
{
    const QString overridden = qEnvironmentVariable("HALVEX_MOUNTINFO");
    return overridden.isEmpty() ? QStringLiteral("/proc/self/mountinfo") : overridden;
}

MountNotifier::MountNotifier(QObject* parent, int fallbackIntervalMs)
    : MountNotifier(DefaultMountTable(), parent, fallbackIntervalMs)
{}

MountNotifier::MountNotifier(const QString& mountTable, QObject* parent, int fallbackIntervalMs)
    : QObject(parent), m_watcher(PathOfText(mountTable))
{
    // A table that cannot be read yet is looked at again on the timer.
    if (m_watcher.Start() && mountTable.startsWith(QStringLiteral("/proc/"))) {
        m_notifier = new QSocketNotifier(m_watcher.EventDescriptor(), QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { Check(); });
    }
    if (fallbackIntervalMs > 0) {
        m_timer = new QTimer(this);
        m_timer->setInterval(fallbackIntervalMs);
        connect(m_timer, &QTimer::timeout, this, [this] { Check(); });
        m_timer->start();
    }
}

void MountNotifier::Check()
{
    if (m_watcher.TakeChange())
        emit mountsChanged();
}
