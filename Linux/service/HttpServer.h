#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "HttpRequest.h"
#include "util/Status.h"

namespace halvex::service {

struct HttpServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port
    // Simultaneous connections from one client address; more are refused
    // with 503. Behind a proxy every client shares the proxy's address.
    std::size_t perAddress = 64;
    // From a connection's opening, or the end of its previous reply, until
    // its next request head has arrived whole; a client that takes longer
    // (idle, or sending a byte at a time) is dropped.
    std::chrono::milliseconds requestDeadline{10'000};
    // A reply whose reader takes nothing for this long is dropped.
    std::chrono::milliseconds sendStall{30'000};
    // Event loops, each on a thread of its own; 0: one a processor.
    unsigned loops = 0;
};

// An open file, closed with its owner.
class OpenFile {
public:
    OpenFile() = default;
    explicit OpenFile(int descriptor) : m_descriptor(descriptor) {}
    ~OpenFile();
    OpenFile(OpenFile&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int get() const { return m_descriptor; }
    explicit operator bool() const { return m_descriptor >= 0; }

private:
    int m_descriptor = -1;
};

struct HttpReply {
    HttpReply() = default;
    explicit HttpReply(int status, std::string contentType = {}, std::string body = {})
        : status(status), contentType(std::move(contentType)), body(std::move(body))
    {}

    int status = 200;
    std::string contentType;
    std::string body;
    // Instead of `body`, a file's bytes (`fileSize` of them), sent from the
    // file as the reader takes them; a single Range is honoured.
    OpenFile file;
    std::uint64_t fileSize = 0;
};

// A small HTTP/1.1 server: event loops (epoll) on non-blocking sockets, so
// that an idle or slow connection costs a few hundred bytes and no thread,
// and a request whose head is whole is answered at once. GET and HEAD, no
// request bodies.
class HttpServer {
public:
    // Called on the loops' threads, at once by several.
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // After each reply, and for each refused connection (method and target
    // then "-"): the client's address, the request and the status.
    using Logger = std::function<void(const std::string& address, const HttpRequest& request, int status)>;

    explicit HttpServer(HttpServerOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens; fails (kServiceListenKey) when it cannot.
    Status Listen();
    int port() const { return m_port; }
    // Serves until the process ends; answers only when a loop fails.
    Status Run(const Handler& handler, const Logger& logger);

private:
    struct Shared;
    class Loop;
    HttpServerOptions m_options;
    int m_listener = -1;
    int m_port = 0;
};

}  // namespace halvex::service
