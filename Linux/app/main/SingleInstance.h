#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <optional>

class QLocalServer;

// One running copy per user: a lock file held for the life of the process,
// and a local socket beside it through which a second start asks the first
// copy to show its main window. Both live in the user's private temporary
// folder, so another user's copy is neither seen nor disturbed.
//
// The request is one line, "show" or "show TOKEN": on Wayland a window may
// only take the focus with an activation token that the desktop handed to
// the program the user just started, so the second start passes its own on.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance(std::filesystem::path folder, QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first copy: it now holds the lock and
    // listens for later starts.
    bool Acquire();
    // A later start: asks the running copy to show itself, handing it the
    // desktop's activation token when there is one. True when it answered.
    bool NotifyRunning(const QString& activationToken = {}, int timeoutMs = 2000);

    // The token of a request line; empty for "show" alone or a token that is
    // too long or holds anything but printable ASCII. Null for any other line.
    static std::optional<QString> ShowRequestToken(const QByteArray& line);

signals:
    // A later start asked this copy to show its main window; the token, when
    // not empty, lets the window take the focus on Wayland.
    void showRequested(const QString& activationToken);

private:
    std::filesystem::path m_folder;
    QString m_strName;
    int m_nLockFd = -1;
    QLocalServer* m_server = nullptr;
};
