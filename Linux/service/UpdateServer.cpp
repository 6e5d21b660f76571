#include "UpdateServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <charconv>
#include <ctime>
#include <memory>
#include <mutex>

#include "CheckUpdateQuery.h"
#include "ReleaseList.h"
#include "util/BoundedRead.h"
#include "util/ParseInteger.h"

namespace fs = std::filesystem;

namespace halvex::service {

namespace {

constexpr const char* kScriptPath = "/check-update.php";

// A log line shows what was asked, never more than a line of it.
std::string Printable(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, 200))
        out += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) ? '?' : c;
    return text.size() > 200 ? out + "..." : out;
}

std::string Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string QueryOf(const std::string& target)
{
    const std::size_t mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

// Read at each request, so that a publication is served at once.
std::optional<ReleaseList> LoadReleases(const fs::path& root)
{
    const Result<std::string> text = ReadBoundedFile(root / kReleaseListName, kMaxReleaseListBytes);
    if (!text)
        return std::nullopt;
    return ParseReleaseList(text.value());
}

// Serves a package the release list names, and nothing else: no path of
// the request reaches the file system.
void ServePackage(const fs::path& root, const std::string& path, httplib::Response& response)
{
    const std::optional<ReleaseList> list = LoadReleases(root);
    const std::string wanted = path.substr(1);
    const Release* named = nullptr;
    if (list)
        for (const Release& release : list->releases)
            if (release.url == wanted)
                named = &release;
    if (!named) {
        response.status = 404;
        return;
    }
    const int fd = ::open((root / named->url).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        response.status = 404;
        return;
    }
    auto file = std::shared_ptr<int>(new int(fd), [](int* descriptor) {
        ::close(*descriptor);
        delete descriptor;
    });
    response.set_content_provider(static_cast<std::size_t>(info.st_size), "application/zip",
                                  [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      char buffer[64 * 1024];
                                      const ssize_t got = ::pread(*file, buffer, std::min(length, sizeof buffer),
                                                                  static_cast<off_t>(offset));
                                      if (got <= 0)
                                          return false;
                                      return sink.write(buffer, static_cast<std::size_t>(got));
                                  });
}

}  // namespace

Result<ServiceOptions> ParseServiceOptions(const std::vector<std::string>& arguments)
{
    const auto usage = [](std::string reason) {
        return Result<ServiceOptions>::Fail(kServiceUsageKey, std::move(reason));
    };
    ServiceOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if ((option != "--root" && option != "--listen") || i + 1 == arguments.size()) {
            return usage("unexpected argument " + option);
        }
        const std::string& value = arguments[++i];
        if (option == "--root") {
            options.root = value;
            continue;
        }
        // ADDR:PORT; an IPv6 address in brackets.
        const std::size_t colon = value.rfind(':');
        std::string host = colon == std::string::npos ? std::string() : value.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        const std::string port = colon == std::string::npos ? std::string() : value.substr(colon + 1);
        const int number = halvex::ParseInteger<int>(port).value_or(-1);
        if (host.empty() || number < 0 || number > 65535) {
            return usage("--listen needs ADDR:PORT, not " + value);
        }
        options.host = host;
        options.port = number;
    }
    std::error_code fault;
    if (options.root.empty() || !fs::is_directory(options.root, fault))
        return usage("--root must name the folder of the release list");
    return Result<ServiceOptions>::Ok(std::move(options));
}

Status RunUpdateService(const ServiceOptions& options, std::ostream& log)
{
    httplib::Server server;
    std::mutex logMutex;
    server.set_payload_max_length(4096);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(60, 0);
    server.set_keep_alive_max_count(20);
    const fs::path root = options.root;
    server.Get(".*", [root](const httplib::Request& request, httplib::Response& response) {
        response.set_header("Cache-Control", "no-cache");
        if (request.path == kScriptPath) {
            const std::optional<ReleaseList> list = LoadReleases(root);
            response.set_content(CheckReply(list ? &*list : nullptr, QueryOf(request.target)),
                                 "text/xml; charset=utf-8");
            return;
        }
        ServePackage(root, request.path, response);
    });
    server.set_logger([&log, &logMutex](const httplib::Request& request, const httplib::Response& response) {
        const std::lock_guard lock(logMutex);
        log << Now() << ' ' << request.remote_addr << ' ' << Printable(request.method) << ' '
            << Printable(request.target) << ' ' << response.status << std::endl;
    });
    int port = options.port;
    if (port == 0)
        port = server.bind_to_any_port(options.host);
    else if (!server.bind_to_port(options.host, port))
        port = -1;
    if (port <= 0)
        return Status::Fail(kServiceListenKey, "cannot listen on " + options.host + ':' + std::to_string(options.port));
    log << "listening on " << options.host << ':' << port << std::endl;
    if (!server.listen_after_bind())
        return Status::Fail(kServiceListenKey, "stopped listening on " + options.host + ':' + std::to_string(port));
    return Status::Ok();
}

}  // namespace halvex::service
