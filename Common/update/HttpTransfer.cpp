#include "update/HttpTransfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "update/UpdateMessageKeys.h"
#include "update/UpdateService.h"
#include "util/WriteAll.h"

namespace halvex {

namespace {

using Clock = std::chrono::steady_clock;

void GlobalInitOnce()
{
    // curl_global_init is not thread-safe on every build; do it once, first.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class CurlHandle {
public:
    CurlHandle() : m_handle(curl_easy_init()) {}
    ~CurlHandle()
    {
        if (m_headers)
            curl_slist_free_all(m_headers);
        if (m_handle)
            curl_easy_cleanup(m_handle);
    }
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;

    CURL* get() const { return m_handle; }
    void AddHeader(const char* header) { m_headers = curl_slist_append(m_headers, header); }
    curl_slist* headers() const { return m_headers; }

private:
    CURL* m_handle;
    curl_slist* m_headers = nullptr;
};

// What the progress function watches: the stall deadline, cancel, and the caller.
struct Watch {
    const TransferLimits* limits = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    const TransferProgress* progress = nullptr;
    curl_off_t lastDone = -1;
    Clock::time_point lastArrival = Clock::now();
    bool stalled = false;
    bool cancelled = false;
};

int OnProgress(void* data, curl_off_t expected, curl_off_t done, curl_off_t, curl_off_t)
{
    auto* watch = static_cast<Watch*>(data);
    const auto now = Clock::now();
    if (done != watch->lastDone) {
        watch->lastDone = done;
        watch->lastArrival = now;
    } else if (watch->limits->stall.count() > 0 && now - watch->lastArrival >= watch->limits->stall) {
        watch->stalled = true;
        return 1;
    }
    if (watch->cancel && watch->cancel->load()) {
        watch->cancelled = true;
        return 1;
    }
    if (watch->progress && *watch->progress &&
        !(*watch->progress)(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(expected))) {
        watch->cancelled = true;
        return 1;
    }
    return 0;
}

void SetCommonOptions(CurlHandle& curl, const std::string& address, const TransferLimits& limits, Watch& watch)
{
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, address.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Updates travel over https only: plain http lets anyone on the way
    // answer in the service's name. The tests' own servers on loopback are
    // the one exception (see kUpdateUrlVariable), and even a redirect from
    // https may lead only to https.
    const bool loopbackHttp = IsLoopbackHttpAddress(address);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, loopbackHttp ? "http,https" : "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, loopbackHttp ? "http,https" : "https");
    // A test's own certificate authority, or an organisation's, instead of the system's.
    if (const char* authorities = std::getenv(kUpdateCaFileVariable); authorities && *authorities)
        curl_easy_setopt(h, CURLOPT_CAINFO, authorities);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, std::string(kUpdateUserAgent).c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    if (limits.total.count() > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    // Never an answer from a cache on the way: the offer must be current.
    curl.AddHeader("Cache-Control: no-cache");
    curl.AddHeader("Pragma: no-cache");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, curl.headers());
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &watch);
}

std::string FailureText(CURLcode code, const Watch& watch, const char* buffer)
{
    if (watch.stalled)
        return "no data arrived within the time limit";
    if (buffer && *buffer)
        return buffer;
    return curl_easy_strerror(code);
}

struct TextSink {
    std::string* text;
    std::size_t limit;
    bool tooLong = false;
};

size_t WriteText(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<TextSink*>(user);
    const size_t bytes = size * count;
    if (sink->text->size() + bytes > sink->limit) {
        sink->tooLong = true;
        return 0;  // makes curl stop with a write error
    }
    sink->text->append(data, bytes);
    return bytes;
}

struct FileSink {
    int fd = -1;
    std::uint64_t written = 0;
    int error = 0;
    bool tooLarge = false;
};

size_t WriteFile(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<FileSink*>(user);
    const size_t bytes = size * count;
    if (sink->written + bytes > kMaxPackageSize) {
        sink->tooLarge = true;
        return 0;
    }
    if (int error = WriteAll(sink->fd, data, bytes)) {
        sink->error = error;
        return 0;
    }
    sink->written += bytes;
    return bytes;
}

}  // namespace

Result<std::string> FetchText(const std::string& address, std::size_t limit, const TransferLimits& limits,
                              const std::atomic<bool>* cancel)
{
    GlobalInitOnce();
    std::string text;
    CurlHandle curl;
    if (!curl.get())
        return Result<std::string>::Fail(kCheckUpdateErrorKey, "curl could not be initialised");
    Watch watch;
    watch.limits = &limits;
    watch.cancel = cancel;
    SetCommonOptions(curl, address, limits, watch);
    TextSink sink{&text, limit};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &WriteText);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl.get());
    if (sink.tooLong)
        return Result<std::string>::Fail(kCheckUpdateErrorKey,
                                         "the reply is longer than " + std::to_string(limit) + " bytes");
    if (watch.cancelled)
        return Result<std::string>::Cancelled();
    if (code != CURLE_OK)
        return Result<std::string>::Fail(kCheckUpdateErrorKey, FailureText(code, watch, errorBuffer));
    if (text.empty())
        return Result<std::string>::Fail(kCheckUpdateErrorKey, "the reply is empty");
    return Result<std::string>::Ok(std::move(text));
}

Status DownloadToFile(const std::string& address, const std::filesystem::path& file, const TransferLimits& limits,
                      const TransferProgress& progress)
{
    GlobalInitOnce();
    FileSink sink;
    sink.fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (sink.fd < 0) {
        return Status::FailErrno(kDownloadErrorKey, file, errno);
    }
    CurlHandle curl;
    if (!curl.get()) {
        ::close(sink.fd);
        return Status::Fail(kDownloadErrorKey, "curl could not be initialised");
    }
    Watch watch;
    watch.limits = &limits;
    watch.progress = &progress;
    SetCommonOptions(curl, address, limits, watch);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &WriteFile);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxPackageSize));
    const CURLcode code = curl_easy_perform(curl.get());
    const bool closed = ::close(sink.fd) == 0;
    if (watch.cancelled)
        return Status::Cancelled();
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        return Status::Fail(kDownloadErrorKey, "the package is larger than the limit");
    if (sink.error != 0)
        return Status::FailErrno(kDownloadErrorKey, file, sink.error);
    if (code != CURLE_OK)
        return Status::Fail(kDownloadErrorKey, FailureText(code, watch, errorBuffer));
    if (!closed)
        return Status::FailErrno(kDownloadErrorKey, file, errno);
    return Status::Ok();
}

}  // namespace halvex
