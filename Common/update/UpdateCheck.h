#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "update/HttpTransfer.h"

namespace halvex {

// What the user is told after a check.
enum class UpdateCheckOutcome {
    NoConnection,  // "check_update_no_conn"; nothing was sent
    Error,         // "check_update_err"; also an explicit "nothing new" reply
    NothingNew,    // the service said there is nothing new ("check_update_err" too)
    Offer,         // "check_update_avail" with the version
};

struct UpdateCheckResult {
    UpdateCheckOutcome outcome = UpdateCheckOutcome::Error;
    int error = 0;               // the service's error number, 0 when none
    std::string detail;          // why the check failed, for the log and the CLI
    std::string version;         // offered version
    std::string packageAddress;  // base address followed by the offer's address
    std::string sha256;          // the package's digest when the reply names one
};

struct UpdateCheckOptions {
    std::string version;  // "%d.%d.%d" of the suite; empty means this build's
    // The drive configuration's base address; empty when it names none.
    std::string configuredBaseAddress;
    TransferLimits limits;
    std::filesystem::path routeFile = "/proc/net/route";
    std::filesystem::path ipv6RouteFile = "/proc/net/ipv6_route";
    const std::atomic<bool>* cancel = nullptr;
};

// The user-facing check: connection, request, reply. The base address comes
// from UpdateBaseAddress (HALVEX_UPDATE_URL, the drive's configuration or
// the built-in one).
UpdateCheckResult RunUpdateCheck(const UpdateCheckOptions& options = {});

// The string-table key of the text shown for an outcome.
const char* UpdateCheckMessageKey(UpdateCheckOutcome outcome);

// The background check of start-up: runs RunUpdateCheck on its own thread
// and calls `onOffer` there only when an update is offered (failures and
// "nothing new" stay silent). The owner keeps the thread; requesting a stop
// cancels the request, so destroying it at exit does not wait for a slow
// server. `onOffer` runs on the worker: a window must queue it to its own thread.
std::jthread CheckUpdateAsync(UpdateCheckOptions options, std::function<void(const UpdateCheckResult&)> onOffer);

}  // namespace halvex
