#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "update/HttpTransfer.h"
#include "util/Status.h"

// One check with the update service: the request, the reply and what it
// offers. Not shared between threads; each check has its own object.
class KXAutoUpdate {
public:
    KXAutoUpdate() = default;
    virtual ~KXAutoUpdate() = default;

    // Whether this computer has a default route (IPv4 or IPv6), read from the
    // kernel's routing tables; nothing is sent.
    static bool IsConnectionAvailable(const std::filesystem::path& routeFile = "/proc/net/route",
                                      const std::filesystem::path& ipv6RouteFile = "/proc/net/ipv6_route");

    // Clears the offer, asks <script>?id=<id>&ver=<version> and parses the
    // reply. Ok when the reply was understood: an offer, or the statement
    // that there is nothing new; else "check_update_err" and the reason.
    [[nodiscard]] halvex::Status CheckUpdate(std::string_view script, std::string_view id, std::string_view version,
                                             const halvex::TransferLimits& limits = {},
                                             const std::atomic<bool>* cancel = nullptr);

    // Parses a reply: <response><update version=".." url=".."/></response>
    // offers a version, <update error="0"/> says nothing is new, any other
    // error number is stored in m_nError and fails with "check_update_err";
    // so does a reply that is no update service answer.
    [[nodiscard]] halvex::Status ParseData(const char* data);

    // The second line of the download window: megabytes done and expected,
    // the rate in KB/s and the minutes and seconds left, filled into `format`
    // ("%s MB of %s MB (%s KB/s), %d:%02d remaining"). The numbers with
    // fractions come as texts, so the checked formatter needs no "%f".
    static std::string GetDownloadSize(std::uint64_t done, std::uint64_t expected,
                                       std::chrono::steady_clock::time_point start, std::string_view format,
                                       std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

    bool m_bUpdateAvailable = false;
    std::string m_strVersion;
    std::string m_strURL;
    int m_nError = 0;
    // The package's SHA-256 digest in hex when the reply names one, else empty.
    std::string m_strSha256;
    // The publisher's signature of the package (base64) when the reply carries one.
    std::string m_strSignature;
};
