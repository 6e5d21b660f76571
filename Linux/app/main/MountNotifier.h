#pragma once

#include <QObject>
#include <QString>

#include "system/MountWatcher.h"

class QSocketNotifier;
class QTimer;

// The mount watch on the window's event loop: the kernel's event on the
// mount table wakes a socket notifier, and a periodic look covers tables
// that give no events (a test's).
class MountNotifier : public QObject {
    Q_OBJECT

public:
    // The mount table: HALVEX_MOUNTINFO when set, else /proc/self/mountinfo.
    explicit MountNotifier(QObject* parent = nullptr, int fallbackIntervalMs = 2000);
    MountNotifier(const QString& mountTable, QObject* parent, int fallbackIntervalMs = 2000);

    static QString DefaultMountTable();

signals:
    // A mount came or went.
    void mountsChanged();

private:
    void Check();

    halvex::MountWatcher m_watcher;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_timer = nullptr;
};
