#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "update/HttpTransfer.h"
#include "update/UpdateMessageKeys.h"
#include "util/Result.h"

namespace halvex {

struct UpdateOffer {
    std::string version;
    std::string packageAddress;  // base address followed by the offer's address
    std::string sha256;          // the package's digest when the reply names one
    std::string signature;       // the publisher's signature (base64) when the reply carries one
};

// What the service answered: an offer, or its error number. 0 is the
// service's "nothing new"; any other number is a refusal (unknown product,
// malformed query, no release list), which the windows show as a failed
// check and the command line names.
struct UpdateAnswer {
    std::optional<UpdateOffer> offer;
    int serviceError = 0;  // when there is no offer

    bool upToDate() const { return !offer && serviceError == 0; }
};

struct UpdateCheckOptions {
    std::string version;  // "%d.%d.%d" of the suite; empty means this build's
    // The drive configuration's base address; empty when it names none.
    std::string configuredBaseAddress;
    // The drive configuration's update keys; without one the drive takes no
    // update and nothing is asked.
    std::vector<std::string> updateKeys;
    TransferLimits limits;
    std::filesystem::path routeFile = "/proc/net/route";
    std::filesystem::path ipv6RouteFile = "/proc/net/ipv6_route";
    const std::atomic<bool>* cancel = nullptr;
};

// The user-facing check: keys, connection, request, reply. Fails with
// kUpdateNotSetUpKey, nothing sent, when the drive lists no update key. The base address comes
// from UpdateBaseAddress (HALVEX_UPDATE_URL, the drive's configuration or
// the built-in one). Fails with kCheckUpdateNoConnectionKey, nothing sent,
// when the computer has no default route, and with kCheckUpdateErrorKey and
// the reason when the service cannot be asked or its reply is not understood.
Result<UpdateAnswer> RunUpdateCheck(const UpdateCheckOptions& options = {});

// The string-table key of the text a window shows for a check that brought
// no offer: no connection or no update key, else kCheckUpdateErrorKey.
const char* UpdateCheckMessageKey(const Result<UpdateAnswer>& checked);

// The background check of start-up: runs RunUpdateCheck on its own thread
// and calls `onOffer` there only when an update is offered (failures and
// "nothing new" stay silent). The owner keeps the thread; requesting a stop
// cancels the request, so destroying it at exit does not wait for a slow
// server. `onOffer` runs on the worker: a window must queue it to its own thread.
std::jthread CheckUpdateAsync(UpdateCheckOptions options, std::function<void(const UpdateOffer&)> onOffer);

}  // namespace halvex
