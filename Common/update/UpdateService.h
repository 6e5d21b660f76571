#pragma once

#include <string>
#include <string_view>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// The update service: one script beside the packages, asked with the product
// and the version in the query.
inline constexpr std::string_view kUpdateScriptName = "check-update.php";
inline constexpr std::string_view kUpdateProductId = "01";
inline constexpr std::string_view kUpdateUserAgent = "HalvexAutoUpdate";
// Overrides every other base address (tests, a mirror). Only this variable
// may name a plain http address, and only on loopback, where no one on the
// network can answer in the service's name: the tests' own servers.
inline constexpr const char* kUpdateUrlVariable = "HALVEX_UPDATE_URL";
// A PEM file of the certificate authorities the update client trusts
// instead of the system's, from the user's environment (an organisation's
// own authority, tests); never from the drive, whose files anyone may write.
inline constexpr const char* kUpdateCaFileVariable = "HALVEX_UPDATE_CA_FILE";

// The base address built into the program (CMake's HALVEX_UPDATE_BASE_URL);
// empty when the build names none.
std::string BuiltInUpdateBaseAddress();

// The base address: HALVEX_UPDATE_URL when set and not empty, else the one
// the drive's configuration names (`configured`), else the built-in one;
// none at all fails with "check_update_err". It must be an https address
// ending in "/", since the script and the package addresses are appended to
// it as they are (http only as HALVEX_UPDATE_URL says above); anything else
// fails with "check_update_err" and the reason.
Result<std::string> UpdateBaseAddress(std::string_view configured = {});
// The shape alone: an http or https address ending in "/".
Status CheckUpdateBaseAddress(std::string_view base);
// True for http://127.x.y.z[:port]/, http://[::1][:port]/ and
// http://localhost[:port]/ addresses.
bool IsLoopbackHttpAddress(std::string_view address);

// <base>check-update.php
std::string UpdateScriptAddress(std::string_view base);
// <script>?id=<id>&ver=<version>, nothing percent-encoded: the service reads
// the query as it is.
std::string UpdateRequestAddress(std::string_view script, std::string_view id, std::string_view version);

}  // namespace halvex
