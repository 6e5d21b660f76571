#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "HttpServer.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex::service {

// halvex-update-service --root DIR [--listen ADDR:PORT] [--per-address N]
//                       [--request-deadline SECONDS]
struct ServiceOptions {
    std::filesystem::path root;
    // Listens on loopback (127.0.0.1:8080) unless told otherwise: the
    // service is meant to sit behind the organisation's web server, which
    // speaks https to the world. Port 0: any free port (the first line says
    // which).
    HttpServerOptions server;
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
