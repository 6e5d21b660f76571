#include "update/KXAutoUpdate.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "plist/PlistNumbers.h"
#include "plist/SafeXmlParse.h"
#include "strings/FormatText.h"
#include "update/UpdateMessageKeys.h"
#include "update/UpdateService.h"
#include "util/BoundedRead.h"
#include "util/ParseInteger.h"

namespace {

// The routing tables of a busy router can be large; a computer's are not.
constexpr std::size_t kMaxRouteTableSize = std::size_t{4} * 1024 * 1024;

// /proc/net/route: a header line, then "Iface Destination Gateway Flags ..."
// with hex fields; the default route has destination 00000000 and mask 00000000.
bool HasIpv4DefaultRoute(const std::string& table)
{
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCnt, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCnt >> use >> metric >> mask))
            continue;
        const unsigned long flagBits = halvex::ParseInteger<unsigned long>(flags, 16).value_or(0);
        constexpr unsigned long kRouteUp = 0x1;
        if (iface != "lo" && destination == "00000000" && mask == "00000000" && (flagBits & kRouteUp))
            return true;
    }
    return false;
}

// /proc/net/ipv6_route: "dest destlen src srclen nexthop metric refcnt use flags iface";
// the default route is ::/0 (the loopback's reject route ::/0 on "lo" is not one).
bool HasIpv6DefaultRoute(const std::string& table)
{
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string destination, length, source, sourceLength, nextHop, metric, refCnt, use, flags, iface;
        if (!(fields >> destination >> length >> source >> sourceLength >> nextHop >> metric >> refCnt >> use >>
              flags >> iface))
            continue;
        const unsigned long flagBits = halvex::ParseInteger<unsigned long>(flags, 16).value_or(0);
        constexpr unsigned long kRouteUp = 0x1;
        constexpr unsigned long kRouteReject = 0x200;
        if (iface != "lo" && destination == std::string(32, '0') && length == "00" && (flagBits & kRouteUp) &&
            !(flagBits & kRouteReject))
            return true;
    }
    return false;
}

// Two digits after the point: the checked formatter takes no "%f".
std::string FixedText(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

}  // namespace

bool KXAutoUpdate::IsConnectionAvailable(const std::filesystem::path& routeFile,
                                         const std::filesystem::path& ipv6RouteFile)
{
    if (const auto table = halvex::ReadBoundedFile(routeFile, kMaxRouteTableSize);
        table && HasIpv4DefaultRoute(table.value()))
        return true;
    const auto table = halvex::ReadBoundedFile(ipv6RouteFile, kMaxRouteTableSize);
    return table && HasIpv6DefaultRoute(table.value());
}

halvex::Status KXAutoUpdate::CheckUpdate(std::string_view script, std::string_view id, std::string_view version,
                                         const halvex::TransferLimits& limits, const std::atomic<bool>* cancel)
{
    m_bUpdateAvailable = false;
    m_strVersion.clear();
    m_strURL.clear();
    m_strSha256.clear();
    m_strSignature.clear();
    m_nError = 0;
    const std::string address = halvex::UpdateRequestAddress(script, id, version);
    const halvex::Result<std::string> reply = halvex::FetchText(address, halvex::kMaxReplySize, limits, cancel);
    if (!reply)
        return reply.status();
    return ParseData(reply.value().c_str());
}

halvex::Status KXAutoUpdate::ParseData(const char* data)
{
    halvex::Status notAnAnswer =
        halvex::Status::Fail(halvex::kCheckUpdateErrorKey, "the reply is not an update service answer");
    m_nError = 0;
    if (!data)
        return notAnAnswer;
    TiXmlDocument document;
    if (!halvex::ParseXmlSafely(document, data))
        return notAnAnswer;
    const TiXmlElement* response = document.FirstChildElement("response");
    if (!response)
        return notAnAnswer;
    const TiXmlNode* node = response->FirstChild("update");
    const TiXmlElement* update = node ? node->ToElement() : nullptr;
    if (!update)
        return notAnAnswer;
    const char* error = update->Attribute("error");
    if (!error || !*error) {
        const char* version = update->Attribute("version");
        const char* url = update->Attribute("url");
        const char* sha256 = update->Attribute("sha256");
        const char* signature = update->Attribute("signature");
        m_strVersion = version ? version : "";
        m_strURL = url ? url : "";
        m_strSha256 = sha256 ? sha256 : "";
        m_strSignature = signature ? signature : "";
        m_bUpdateAvailable = true;
        return halvex::Status::Ok();
    }
    if (std::string_view(error) == "0")
        return halvex::Status::Ok();
    m_nError = halvex::plist::ReadInteger(error);  // the other builds read it with atoi
    if (m_nError == 0)
        return notAnAnswer;
    return halvex::Status::Fail(halvex::kCheckUpdateErrorKey,
                                "the update service answered error " + std::to_string(m_nError));
}

std::string KXAutoUpdate::GetDownloadSize(std::uint64_t done, std::uint64_t expected,
                                          std::chrono::steady_clock::time_point start, std::string_view format,
                                          std::chrono::steady_clock::time_point now)
{
    long long elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
    if (elapsed <= 0)
        elapsed = 1;
    const std::uint64_t rate = done / static_cast<std::uint64_t>(elapsed);
    // Below 1 KB/s the whole-kilobyte rate is 0: no estimate rather than a
    // division by zero.
    const std::uint64_t rateKb = rate / 1024;
    const std::uint64_t left = expected > done ? expected - done : 0;
    const std::uint64_t remaining = rateKb > 0 ? (left / 1024) / rateKb : 0;
    constexpr double kMega = 1024.0 * 1024.0;
    return halvex::FormatText(format, FixedText(static_cast<double>(done) / kMega, 2),
                              FixedText(static_cast<double>(expected) / kMega, 2),
                              FixedText(static_cast<double>(rate) / 1024.0, 1), static_cast<long long>(remaining / 60),
                              static_cast<long long>(remaining % 60));
}
