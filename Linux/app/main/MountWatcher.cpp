#include "app/main/MountWatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Far above any real mount table; a damaged test file must not eat memory.
constexpr qsizetype kMaxTableSize = 8 * 1024 * 1024;
}

QString MountWatcher::DefaultMountTable()
{
    const QString overridden = qEnvironmentVariable("HALVEX_MOUNTINFO");
    return overridden.isEmpty() ? QStringLiteral("/proc/self/mountinfo") : overridden;
}

MountWatcher::MountWatcher(QObject* parent, int fallbackIntervalMs)
    : MountWatcher(DefaultMountTable(), parent, fallbackIntervalMs)
{
}

MountWatcher::MountWatcher(const QString& mountTable, QObject* parent, int fallbackIntervalMs)
    : QObject(parent), m_strPath(mountTable)
{
    // The kernel's table signals each change as a priority event on one
    // descriptor kept open; any other file (a test's table) is re-read whole
    // on the timer, since a test may replace it by renaming.
    if (m_strPath.startsWith(QStringLiteral("/proc/"))) {
        m_nFd = ::open(m_strPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        if (m_nFd >= 0) {
            m_notifier = new QSocketNotifier(m_nFd, QSocketNotifier::Exception, this);
            connect(m_notifier, &QSocketNotifier::activated, this, [this] { Check(); });
        }
    }
    m_lastTable = ReadTable();
    if (fallbackIntervalMs > 0) {
        m_timer = new QTimer(this);
        m_timer->setInterval(fallbackIntervalMs);
        connect(m_timer, &QTimer::timeout, this, [this] { Check(); });
        m_timer->start();
    }
}

MountWatcher::~MountWatcher()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}

QByteArray MountWatcher::ReadTable()
{
    int fd = m_nFd;
    const bool ownDescriptor = fd < 0;
    if (ownDescriptor)
        fd = ::open(m_strPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    else if (::lseek(fd, 0, SEEK_SET) != 0)  // reading from the start re-arms the event
        return m_lastTable;
    if (fd < 0)
        return {};
    QByteArray table;
    char buffer[16384];
    ssize_t n;
    while (table.size() < kMaxTableSize && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        table.append(buffer, n);
    if (ownDescriptor)
        ::close(fd);
    return table;
}

void MountWatcher::Check()
{
    QByteArray table = ReadTable();
    if (table == m_lastTable)
        return;
    m_lastTable = std::move(table);
    emit mountsChanged();
}
