#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// Tells when the system's mounts change: the kernel marks the mount table
// readable with priority (POLLPRI) on every change. A periodic re-read
// covers files that give no such events (a test's mount table).
class MountWatcher : public QObject {
    Q_OBJECT

public:
    // The mount table: HALVEX_MOUNTINFO when set, else /proc/self/mountinfo.
    explicit MountWatcher(QObject* parent = nullptr, int fallbackIntervalMs = 2000);
    MountWatcher(const QString& mountTable, QObject* parent, int fallbackIntervalMs = 2000);
    ~MountWatcher() override;

    static QString DefaultMountTable();

signals:
    void mountsChanged();

private:
    void Check();
    QByteArray ReadTable();

    QString m_strPath;
    int m_nFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_timer = nullptr;
    QByteArray m_lastTable;
};
