#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace halvex::service {

// halvex-update-service --root DIR [--listen ADDR:PORT]
struct ServiceOptions {
    std::filesystem::path root;
    // Loopback unless told otherwise: the service is meant to sit behind the
    // organisation's web server, which speaks https to the world.
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port (the first line says which)
};

// Nothing, with the reason in `error`, for a missing root, an unknown
// option or an address that is not ADDR:PORT.
std::optional<ServiceOptions> ParseServiceOptions(const std::vector<std::string>& arguments, std::string& error);

// Serves until the process is ended: "check-update.php" from the release
// list in the root, and the package files it names. Writes
// "listening on ADDR:PORT" first, then one line a request, to `log`.
// Answers 0 when it stopped normally, 1 when it could not listen.
int RunUpdateService(const ServiceOptions& options, std::ostream& log);

}  // namespace halvex::service
