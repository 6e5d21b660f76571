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

// The package's name as its address gives it: the last path component
// (query and fragment left out), for the download window's title only. A
// component that is empty, ".", "..", or holds a backslash or NUL is refused
// with "download_err": the name comes from the network.
Result<std::string> PackageName(std::string_view packageAddress);

// Where a package is downloaded to: "package.zip" in a folder made for this
// download alone (mkdtemp) in the temporary folder. The address names no
// file there: an offer must not reach what else the private temporary
// folder holds (the session's sockets among them). Fails with
// "download_err" when the address has no usable name or the folder cannot
// be made.
Result<std::filesystem::path> PackageDestination(const std::filesystem::path& tempFolder,
                                                 std::string_view packageAddress);

// Removes a package that PackageDestination placed, and its folder when that
// is then empty; nothing else.
void RemovePackageDownload(const std::filesystem::path& package);

// True when the file opens as a zip archive with at least one entry.
bool OpensAsZip(const std::filesystem::path& file);

struct PackageRequest {
    std::string address;
    std::filesystem::path destination;  // from PackageDestination
    std::string sha256;                 // expected digest in hex, or empty when the reply named none
    TransferLimits limits{std::chrono::seconds(10), std::chrono::milliseconds(0), std::chrono::seconds(60)};
};

// Downloads the package into a temporary name beside its destination and
// renames it there only when complete and checked (the digest, when one is
// named, and the zip archive). A file already at the destination is never
// replaced or removed. The download fails when no byte arrives for
// `limits.stall`. `progress` is called on this thread and may cancel: the
// result is then Cancelled, which shows nothing. A failure is "download_err"
// and why. Either way nothing of the download is left behind.
Status DownloadPackage(const PackageRequest& request, const TransferProgress& progress);

// The first line of the download window: "download_update" with the name
// the package's address gives it, without its extension.
std::string DownloadTitleText(std::string_view format, std::string_view packageAddress);

}  // namespace halvex
