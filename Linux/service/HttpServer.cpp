#include "HttpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "UpdateServer.h"

namespace halvex::service {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kSweepInterval = std::chrono::milliseconds(200);
// One connection's turn at sending a file, so that a fast reader of a large
// package does not hold up the others on its loop.
constexpr std::size_t kSendTurnBytes = std::size_t{4} << 20;
constexpr int kListenBacklog = 1024;
// Descriptors kept back from connections: the listener, the loops' epoll
// descriptors, the files being sent and the release list being read.
constexpr rlim_t kSpareDescriptors = 64;

const char* StatusText(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return status < 400 ? "OK" : "Error";
    }
}

std::string HttpDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

// Where the head ends: just past its empty line ("\r\n\r\n" or "\n\n").
std::size_t HeadEnd(const std::string& in)
{
    for (std::size_t line = in.find('\n'); line != std::string::npos; line = in.find('\n', line + 1)) {
        if (line + 1 < in.size() && in[line + 1] == '\n')
            return line + 2;
        if (line + 2 < in.size() && in[line + 1] == '\r' && in[line + 2] == '\n')
            return line + 3;
    }
    return std::string::npos;
}

std::string PeerAddress(const sockaddr_storage& peer)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (peer.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
    else if (peer.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr, text, sizeof text);
    return text;
}

// As many descriptors as the system lets this process have.
rlim_t RaiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1 << 20);
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

// What the log shows for a request that was refused before it was read.
HttpRequest Unread()
{
    HttpRequest request;
    request.method = request.target = "-";
    return request;
}

}  // namespace

OpenFile::~OpenFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

// What the loops share: the counts of open connections, in all and by
// client address, and the stop for all when one fails.
struct HttpServer::Shared {
    Shared(const HttpServerOptions& options, const Handler& handler, const Logger& logger, int listener,
           std::size_t maxConnections)
        : options(options), handler(handler), logger(logger), listener(listener), maxConnections(maxConnections)
    {}

    const HttpServerOptions& options;
    const Handler& handler;
    const Logger& logger;
    int listener;
    std::size_t maxConnections;
    std::atomic<bool> stop{false};

    std::mutex mutex;
    std::size_t open = 0;
    std::unordered_map<std::string, std::size_t> byAddress;

    bool Admit(const std::string& address)
    {
        const std::lock_guard lock(mutex);
        const auto found = byAddress.find(address);
        if (open >= maxConnections || (found != byAddress.end() && found->second >= options.perAddress))
            return false;
        ++open;
        ++byAddress[address];
        return true;
    }
    void Release(const std::string& address)
    {
        const std::lock_guard lock(mutex);
        --open;
        const auto found = byAddress.find(address);
        if (found != byAddress.end() && --found->second == 0)
            byAddress.erase(found);
    }
};

class HttpServer::Loop {
public:
    explicit Loop(Shared& shared) : m_shared(shared), m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {}
    ~Loop()
    {
        while (!m_connections.empty())
            Close(m_connections.begin()->first);
        if (m_epoll >= 0)
            ::close(m_epoll);
    }
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    Status Run();

private:
    struct Connection {
        int socket = -1;
        std::string address;
        std::string in;  // received, not yet answered
        bool peerClosed = false;
        bool writing = false;
        bool closeAfterReply = false;
        std::string out;  // the reply's head, and its body when it is not a file
        std::size_t outSent = 0;
        OpenFile file;
        off_t fileOffset = 0;
        std::uint64_t fileLeft = 0;
        std::uint32_t events = EPOLLIN;
        Clock::time_point deadline;
    };
    enum class Sent { Done, Waiting, Failed };

    void Accept(Clock::time_point now);
    void OnEvent(Connection& connection, std::uint32_t events, Clock::time_point now);
    // Answers the heads that have arrived whole, one reply at a time.
    void Advance(Connection& connection, Clock::time_point now);
    void StartReply(Connection& connection, const HttpRequest& request, HttpReply reply);
    Sent Send(Connection& connection, Clock::time_point now);
    void Watch(Connection& connection, std::uint32_t events);
    void Sweep(Clock::time_point now);
    void Close(int socket);

    Shared& m_shared;
    int m_epoll;
    std::unordered_map<int, std::unique_ptr<Connection>> m_connections;
};

Status HttpServer::Loop::Run()
{
    epoll_event listen{};
    listen.events = EPOLLIN | EPOLLEXCLUSIVE;
    listen.data.fd = m_shared.listener;
    if (m_epoll < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_shared.listener, &listen) != 0)
        return Status::FailErrno(kServiceListenKey, errno);
    Clock::time_point lastSweep = Clock::now();
    epoll_event events[64];
    while (!m_shared.stop.load()) {
        const int ready = ::epoll_wait(m_epoll, events, 64, static_cast<int>(kSweepInterval.count()));
        if (ready < 0 && errno != EINTR)
            return Status::FailErrno(kServiceListenKey, errno);
        const Clock::time_point now = Clock::now();
        for (int i = 0; i < ready; ++i) {
            const int socket = events[i].data.fd;
            if (socket == m_shared.listener) {
                Accept(now);
                continue;
            }
            const auto found = m_connections.find(socket);
            if (found != m_connections.end())
                OnEvent(*found->second, events[i].events, now);
        }
        if (now - lastSweep >= kSweepInterval) {
            Sweep(now);
            lastSweep = now;
        }
    }
    return Status::Ok();
}

void HttpServer::Loop::Accept(Clock::time_point now)
{
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int socket =
            ::accept4(m_shared.listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;  // EAGAIN: another loop took it, or nothing is waiting
        }
        std::string address = PeerAddress(peer);
        if (!m_shared.Admit(address)) {
            static constexpr std::string_view busy =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            (void)::send(socket, busy.data(), busy.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            ::close(socket);
            m_shared.logger(address, Unread(), 503);
            continue;
        }
        // Without it a reply's last segment waits for the client's delayed
        // acknowledgement: 40 ms a request on a kept-alive connection.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        connection->address = std::move(address);
        connection->deadline = now + m_shared.options.requestDeadline;
        epoll_event watch{};
        watch.events = EPOLLIN;
        watch.data.fd = socket;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &watch) != 0) {
            m_shared.Release(connection->address);
            ::close(socket);
            continue;
        }
        m_connections.emplace(socket, std::move(connection));
    }
}

void HttpServer::Loop::OnEvent(Connection& connection, std::uint32_t events, Clock::time_point now)
{
    if (events & EPOLLERR) {
        Close(connection.socket);
        return;
    }
    if (!connection.writing && (events & (EPOLLIN | EPOLLHUP))) {
        char buffer[kMaxRequestHeadBytes + 1];
        while (connection.in.size() <= kMaxRequestHeadBytes) {
            const ssize_t got = ::recv(connection.socket, buffer, kMaxRequestHeadBytes + 1 - connection.in.size(), 0);
            if (got > 0) {
                connection.in.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            // The end of what the client sends, or a connection gone wrong.
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                connection.peerClosed = true;
            break;
        }
    }
    Advance(connection, now);
}

void HttpServer::Loop::Advance(Connection& connection, Clock::time_point now)
{
    for (;;) {
        if (connection.writing) {
            const Sent sent = Send(connection, now);
            if (sent == Sent::Waiting) {
                Watch(connection, EPOLLOUT);
                return;
            }
            if (sent == Sent::Failed || connection.closeAfterReply) {
                Close(connection.socket);
                return;
            }
            connection.writing = false;
            connection.deadline = now + m_shared.options.requestDeadline;
        }
        const std::size_t end = HeadEnd(connection.in);
        if (end == std::string::npos) {
            if (connection.in.size() > kMaxRequestHeadBytes) {
                StartReply(connection, Unread(), HttpReply(431));
                connection.deadline = now + m_shared.options.sendStall;
                continue;
            }
            if (connection.peerClosed) {
                Close(connection.socket);
                return;
            }
            Watch(connection, EPOLLIN);
            return;
        }
        RequestHead head = ParseRequestHead(std::string_view(connection.in).substr(0, end));
        connection.in.erase(0, end);
        if (head.request.method.empty())
            head.request = Unread();
        HttpReply reply = head.refusal ? HttpReply(head.refusal) : m_shared.handler(head.request);
        StartReply(connection, head.request, std::move(reply));
        connection.deadline = now + m_shared.options.sendStall;
    }
}

void HttpServer::Loop::StartReply(Connection& connection, const HttpRequest& request, HttpReply reply)
{
    // After a refusal what follows on the connection cannot be trusted to
    // start a request.
    const bool keepAlive = request.keepAlive && (reply.status < 400 || reply.status == 404) && !connection.peerClosed;
    std::string extra;
    std::uint64_t length = reply.body.size();
    if (reply.file && reply.status == 200) {
        const ByteRange range = ChooseByteRange(request.range, reply.fileSize);
        extra = "Accept-Ranges: bytes\r\n";
        if (range.kind == ByteRange::Kind::Unsatisfiable) {
            reply.status = 416;
            reply.file = OpenFile();
            extra += "Content-Range: bytes */" + std::to_string(reply.fileSize) + "\r\n";
            length = 0;
        } else {
            if (range.kind == ByteRange::Kind::Part) {
                reply.status = 206;
                extra += "Content-Range: bytes " + std::to_string(range.first) + '-' +
                         std::to_string(range.first + range.length - 1) + '/' + std::to_string(reply.fileSize) + "\r\n";
            }
            connection.fileOffset = static_cast<off_t>(range.first);
            connection.fileLeft = range.length;
            length = range.length;
        }
    }
    if (reply.status == 405)
        extra += "Allow: GET, HEAD\r\n";
    if (!reply.contentType.empty())
        extra += "Content-Type: " + reply.contentType + "\r\n";
    connection.out = "HTTP/1.1 " + std::to_string(reply.status) + ' ' + StatusText(reply.status) +
                     "\r\nDate: " + HttpDate() + "\r\nContent-Length: " + std::to_string(length) +
                     "\r\nCache-Control: no-cache\r\n" + extra +
                     (keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
    if (request.method == "HEAD") {
        connection.fileLeft = 0;
    } else {
        connection.out += reply.body;
        if (connection.fileLeft > 0)
            connection.file = std::move(reply.file);
    }
    connection.outSent = 0;
    connection.writing = true;
    connection.closeAfterReply = !keepAlive;
    m_shared.logger(connection.address, request, reply.status);
}

HttpServer::Loop::Sent HttpServer::Loop::Send(Connection& connection, Clock::time_point now)
{
    const auto progress = [&] { connection.deadline = now + m_shared.options.sendStall; };
    while (connection.outSent < connection.out.size()) {
        const int more = connection.fileLeft > 0 ? MSG_MORE : 0;
        const ssize_t sent = ::send(connection.socket, connection.out.data() + connection.outSent,
                                    connection.out.size() - connection.outSent, MSG_NOSIGNAL | more);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Sent::Waiting : Sent::Failed;
        connection.outSent += static_cast<std::size_t>(sent);
        progress();
    }
    std::size_t turn = 0;
    while (connection.fileLeft > 0) {
        if (turn >= kSendTurnBytes)
            return Sent::Waiting;
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(connection.fileLeft, 1 << 20));
        const ssize_t sent = ::sendfile(connection.socket, connection.file.get(), &connection.fileOffset, chunk);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Sent::Waiting : Sent::Failed;
        if (sent == 0)
            return Sent::Failed;  // the file became shorter than its announced length
        connection.fileLeft -= static_cast<std::uint64_t>(sent);
        turn += static_cast<std::size_t>(sent);
        progress();
    }
    connection.file = OpenFile();
    connection.out.clear();
    return Sent::Done;
}

void HttpServer::Loop::Watch(Connection& connection, std::uint32_t events)
{
    if (connection.events == events)
        return;
    epoll_event watch{};
    watch.events = events;
    watch.data.fd = connection.socket;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_MOD, connection.socket, &watch) == 0)
        connection.events = events;
    else
        Close(connection.socket);
}

void HttpServer::Loop::Sweep(Clock::time_point now)
{
    std::vector<int> late;
    for (const auto& [socket, connection] : m_connections)
        if (connection->deadline <= now)
            late.push_back(socket);
    for (const int socket : late) {
        // Part of a head that did not arrive in time is worth a line in the
        // log; a kept-alive connection left idle is not.
        const Connection& connection = *m_connections.at(socket);
        if (!connection.writing && !connection.in.empty())
            m_shared.logger(connection.address, Unread(), 408);
        Close(socket);
    }
}

void HttpServer::Loop::Close(int socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
    ::close(socket);
    m_shared.Release(found->second->address);
    m_connections.erase(found);
}

HttpServer::HttpServer(HttpServerOptions options) : m_options(std::move(options)) {}

HttpServer::~HttpServer()
{
    if (m_listener >= 0)
        ::close(m_listener);
}

Status HttpServer::Listen()
{
    const std::string where = m_options.host + ':' + std::to_string(m_options.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(m_options.host.c_str(), std::to_string(m_options.port).c_str(), &hints, &found);
        error != 0)
        return Status::Fail(kServiceListenKey, "cannot listen on " + where + ": " + ::gai_strerror(error));
    int error = 0;
    for (const addrinfo* address = found; address && m_listener < 0; address = address->ai_next) {
        const int socket = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        if (socket >= 0 && ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(socket, address->ai_addr, address->ai_addrlen) == 0 && ::listen(socket, kListenBacklog) == 0) {
            m_listener = socket;
            break;
        }
        error = errno;
        if (socket >= 0)
            ::close(socket);
    }
    ::freeaddrinfo(found);
    if (m_listener < 0)
        return Status::Fail(kServiceListenKey, "cannot listen on " + where + ": " + std::strerror(error));
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                               : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    return Status::Ok();
}

Status HttpServer::Run(const Handler& handler, const Logger& logger)
{
    // A reader that goes away mid-reply must cost its connection, not the
    // process: sendfile has no MSG_NOSIGNAL.
    ::signal(SIGPIPE, SIG_IGN);
    const rlim_t descriptors = RaiseDescriptorLimit();
    Shared shared(m_options, handler, logger, m_listener,
                  static_cast<std::size_t>(descriptors > 2 * kSpareDescriptors ? descriptors - kSpareDescriptors
                                                                               : kSpareDescriptors));
    const unsigned count = m_options.loops ? m_options.loops : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::unique_ptr<Loop>> loops;
    for (unsigned i = 0; i < count; ++i)
        loops.push_back(std::make_unique<Loop>(shared));
    std::vector<Status> results(count);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < count; ++i)
        threads.emplace_back([&, i] {
            results[i] = loops[i]->Run();
            shared.stop = true;
        });
    results[0] = loops[0]->Run();
    shared.stop = true;
    for (std::thread& thread : threads)
        thread.join();
    for (const Status& result : results)
        if (!result)
            return result;
    return Status::Fail(kServiceListenKey, "stopped listening");
}

}  // namespace halvex::service
