#include "app/main/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "toolkit/PathText.h"

namespace {
const QByteArray kShowRequest = "show";
// Desktops hand out tokens of a few dozen characters; a longer request is not ours.
constexpr qsizetype kMaxTokenLength = 255;
constexpr qsizetype kMaxRequestLength = kMaxTokenLength + 8;

bool PrintableAscii(const QByteArray& text)
{
    for (const char c : text)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}
}  // namespace

std::optional<QString> SingleInstance::ShowRequestToken(const QByteArray& line)
{
    const QByteArray request = line.endsWith('\n') ? line.chopped(1) : line;
    if (request == kShowRequest)
        return QString();
    if (!request.startsWith(kShowRequest + ' '))
        return std::nullopt;
    const QByteArray token = request.mid(kShowRequest.size() + 1);
    if (token.isEmpty() || token.size() > kMaxTokenLength || !PrintableAscii(token))
        return QString();
    return QString::fromLatin1(token);
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
                socket->setReadBufferSize(kMaxRequestLength + 1);
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    // The line may come in pieces; one longer than any request is refused.
                    if (!socket->canReadLine() && socket->bytesAvailable() <= kMaxRequestLength)
                        return;
                    const QByteArray line =
                        socket->canReadLine() ? socket->readLine(kMaxRequestLength + 1) : QByteArray();
                    if (const std::optional<QString> token = ShowRequestToken(line))
                        emit showRequested(*token);
                    socket->disconnectFromServer();
                });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    return true;
}

bool SingleInstance::NotifyRunning(const QString& activationToken, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(PathText(m_folder / PathOfText(m_strName)));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request = kShowRequest;
    if (!activationToken.isEmpty())
        request += ' ' + activationToken.toLatin1();
    socket.write(request + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}
