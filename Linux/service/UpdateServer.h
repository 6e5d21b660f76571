#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex::service {

// halvex-update-service --root DIR [--listen ADDR:PORT]
struct ServiceOptions {
    std::filesystem::path root;
    // Loopback unless told otherwise: the service is meant to sit behind the
    // organisation's web server, which speaks https to the world.
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port (the first line says which)
};

// The service speaks to its operator in English and has no string table:
// these keys name its failures, and the detail says what went wrong.
inline constexpr const char* kServiceUsageKey = "service_usage";
inline constexpr const char* kServiceListenKey = "service_listen";

// Fails (kServiceUsageKey and the reason) for a missing root, an unknown
// option or an address that is not ADDR:PORT.
Result<ServiceOptions> ParseServiceOptions(const std::vector<std::string>& arguments);

// Serves until the process is ended: "check-update.php" from the release
// list in the root, and the package files it names. Writes
// "listening on ADDR:PORT" first, then one line a request, to `log`. Fails
// (kServiceListenKey) when it cannot listen or stops listening.
Status RunUpdateService(const ServiceOptions& options, std::ostream& log);

}  // namespace halvex::service
