#include "UpdateServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <mutex>

#include "CheckUpdateQuery.h"
#include "HttpServer.h"
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
HttpReply ServePackage(const fs::path& root, const std::string& path)
{
    const std::optional<ReleaseList> list = LoadReleases(root);
    const std::string wanted = path.substr(1);
    const Release* named = nullptr;
    if (list)
        for (const Release& release : list->releases)
            if (release.url == wanted)
                named = &release;
    if (!named)
        return HttpReply(404);
    OpenFile file(::open((root / named->url).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return HttpReply(404);
    HttpReply reply(200, "application/zip");
    reply.file = std::move(file);
    reply.fileSize = static_cast<std::uint64_t>(info.st_size);
    return reply;
}

HttpReply Answer(const fs::path& root, const HttpRequest& request)
{
    if (request.path == kScriptPath) {
        const std::optional<ReleaseList> list = LoadReleases(root);
        return HttpReply(200, "text/xml; charset=utf-8", CheckReply(list ? &*list : nullptr, request.query));
    }
    return ServePackage(root, request.path);
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
        if ((option != "--root" && option != "--listen" && option != "--per-address" &&
             option != "--request-deadline") ||
            i + 1 == arguments.size()) {
            return usage("unexpected argument " + option);
        }
        const std::string& value = arguments[++i];
        if (option == "--root") {
            options.root = value;
            continue;
        }
        if (option == "--per-address") {
            const std::size_t count = halvex::ParseInteger<std::size_t>(value).value_or(0);
            if (count == 0 || count > 100'000)
                return usage("--per-address needs a number of connections from 1 to 100000, not " + value);
            options.server.perAddress = count;
            continue;
        }
        if (option == "--request-deadline") {
            const int seconds = halvex::ParseInteger<int>(value).value_or(0);
            if (seconds < 1 || seconds > 3600)
                return usage("--request-deadline needs seconds from 1 to 3600, not " + value);
            options.server.requestDeadline = std::chrono::seconds(seconds);
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
        options.server.host = host;
        options.server.port = number;
    }
    std::error_code fault;
    if (options.root.empty() || !fs::is_directory(options.root, fault))
        return usage("--root must name the folder of the release list");
    return Result<ServiceOptions>::Ok(std::move(options));
}

Status RunUpdateService(const ServiceOptions& options, std::ostream& log)
{
    HttpServer server(options.server);
    if (Status listening = server.Listen(); !listening)
        return listening;
    log << "listening on " << options.server.host << ':' << server.port() << std::endl;
    std::mutex logMutex;
    const fs::path root = options.root;
    return server.Run([&root](const HttpRequest& request) { return Answer(root, request); },
                      [&log, &logMutex](const std::string& address, const HttpRequest& request, int status) {
                          const std::lock_guard lock(logMutex);
                          log << Now() << ' ' << address << ' ' << Printable(request.method) << ' '
                              << Printable(request.target) << ' ' << status << '\n'
                              << std::flush;
                      });
}

}  // namespace halvex::service
