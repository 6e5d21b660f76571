#include "app/main/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "toolkit/PathText.h"

namespace {
const QByteArray kShowRequest = "show\n";
}

SingleInstance::SingleInstance(std::filesystem::path folder, QString name, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_strName(std::move(name))
{}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_nLockFd >= 0)
        ::close(m_nLockFd);  // releases the lock
}

bool SingleInstance::Acquire()
{
    if (m_nLockFd >= 0)
        return true;
    const std::filesystem::path lockPath = m_folder / PathOfText(m_strName + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;  // no lock to be had: better two copies than none
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_nLockFd = fd;

    // We hold the lock, so a socket file left here belongs to a copy that died.
    const QString socketPath = PathText(m_folder / PathOfText(m_strName));
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(socketPath)) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    if (socket->readAll().startsWith(kShowRequest.trimmed()))
                        emit showRequested();
                    socket->disconnectFromServer();
                });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    return true;
}

bool SingleInstance::NotifyRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(PathText(m_folder / PathOfText(m_strName)));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}
