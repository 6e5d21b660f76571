#pragma once

#include <QObject>
#include <QString>

#include <filesystem>

class QLocalServer;

// One running copy per user: a lock file held for the life of the process,
// and a local socket beside it through which a second start asks the first
// copy to show its main window. Both live in the user's private temporary
// folder, so another user's copy is neither seen nor disturbed.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance(std::filesystem::path folder, QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first copy: it now holds the lock and
    // listens for later starts.
    bool Acquire();
    // A later start: asks the running copy to show itself. True when it answered.
    bool NotifyRunning(int timeoutMs = 2000);

signals:
    // A later start asked this copy to show its main window.
    void showRequested();

private:
    std::filesystem::path m_folder;
    QString m_strName;
    int m_nLockFd = -1;
    QLocalServer* m_server = nullptr;
};
