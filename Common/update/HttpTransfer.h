#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// Time limits of one transfer. Parameters so tests need not wait the real ones.
struct TransferLimits {
    std::chrono::milliseconds connect{10'000};
    // The whole exchange; zero means no limit (downloads, which may be long).
    std::chrono::milliseconds total{30'000};
    // A transfer fails when no byte has arrived for this long; zero means no
    // such limit. Counts from the start, so a server that never answers fails too.
    std::chrono::milliseconds stall{0};
};

// The update check's reply is a few hundred bytes; anything larger is not one.
inline constexpr std::size_t kMaxReplySize = std::size_t{64} * 1024;
// No package of the suite comes near this; it keeps a hostile server from
// filling the disk.
inline constexpr std::uint64_t kMaxPackageSize = 1024ull * 1024 * 1024;

// GET of a short text, never from a cache, through the proxy the environment
// names (http_proxy, https_proxy, no_proxy, as curl reads them). A reply larger
// than `limit`, an HTTP error status, or a transfer error fails with
// "check_update_err" and the reason. `cancel` (may be null) stops the request
// with Status::Cancelled().
Result<std::string> FetchText(const std::string& address, std::size_t limit, const TransferLimits& limits,
                              const std::atomic<bool>* cancel = nullptr);

// Called on the transferring thread about once a second and after each piece
// that arrives: bytes received and bytes expected (0 while unknown). Answer
// false to cancel.
using TransferProgress = std::function<bool(std::uint64_t done, std::uint64_t expected)>;

// GET of a file into `file`, which must not exist yet (the caller chooses a
// temporary name); on failure ("download_err" and why, for the log and the
// CLI) the caller removes it. A transfer that `progress` cancelled answers
// Status::Cancelled(), which no window or command shows as a failure.
Status DownloadToFile(const std::string& address, const std::filesystem::path& file, const TransferLimits& limits,
                      const TransferProgress& progress);

}  // namespace halvex
