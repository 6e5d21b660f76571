#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "update/HttpTransfer.h"
#include "update/UpdateMessageKeys.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// Where a package is kept: the temporary folder joined with the last path
// component of its address (query and fragment left out). A component that
// is empty, ".", "..", or holds a backslash or NUL is refused with
// "download_err": the name comes from the network.
Result<std::filesystem::path> PackageDestination(const std::filesystem::path& tempFolder,
                                                 std::string_view packageAddress);

// True when the file opens as a zip archive with at least one entry.
bool OpensAsZip(const std::filesystem::path& file);

enum class DownloadOutcome {
    Downloaded,
    Reused,  // a good package was already there
};

struct PackageRequest {
    std::string address;
    std::filesystem::path destination;
    std::string sha256;  // expected digest in hex, or empty when the reply named none
    TransferLimits limits{std::chrono::seconds(10), std::chrono::milliseconds(0), std::chrono::seconds(60)};
};

// Brings the package to its destination. An existing file there is used
// again when it opens as a zip archive (and has the expected digest, when one
// is named); otherwise it is deleted and the package downloaded into a
// temporary name beside it, renamed only when complete and checked. The
// download fails when no byte arrives for `limits.stall`. `progress` is
// called on this thread and may cancel: the result is then Cancelled, which
// shows nothing. A failure is "download_err" and why. Either way nothing
// is left behind.
Result<DownloadOutcome> DownloadPackage(const PackageRequest& request, const TransferProgress& progress);

// The first line of the download window: "download_update" with the
// package's name without its extension.
std::string DownloadTitleText(std::string_view format, const std::filesystem::path& destination);

}  // namespace halvex
