#include "update/UpdateService.h"

#include <cstdlib>

#include "update/UpdateMessageKeys.h"

// An organisation's build may name its update service; the plain build
// names none, and a drive then needs its configuration to update.
#ifndef HALVEX_UPDATE_BASE_URL
#define HALVEX_UPDATE_BASE_URL ""
#endif

namespace halvex {

std::string BuiltInUpdateBaseAddress()
{
    return HALVEX_UPDATE_BASE_URL;
}

Status CheckUpdateBaseAddress(std::string_view base)
{
    const bool web = base.starts_with("http://") || base.starts_with("https://");
    if (!web || !base.ends_with('/'))
        return Status::Fail(
            kCheckUpdateErrorKey,
            "the update address must be an http or https address ending in \"/\": " + std::string(base));
    return Status::Ok();
}

bool IsLoopbackHttpAddress(std::string_view address)
{
    constexpr std::string_view kHttp = "http://";
    if (!address.starts_with(kHttp))
        return false;
    std::string_view host = address.substr(kHttp.size());
    host = host.substr(0, host.find('/'));
    if (host.find('@') != std::string_view::npos)
        return false;
    if (host.starts_with("[::1]"))
        return host.size() == 5 || host[5] == ':';
    host = host.substr(0, host.find(':'));
    if (host == "localhost")
        return true;
    // 127.0.0.0/8 in dotted form, four numbers.
    if (!host.starts_with("127."))
        return false;
    int dots = 0;
    for (const char c : host) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3 && !host.ends_with('.') && host.find("..") == std::string_view::npos;
}

Result<std::string> UpdateBaseAddress(std::string_view configured)
{
    std::string base;
    const char* variable = std::getenv(kUpdateUrlVariable);
    const bool fromVariable = variable && *variable;
    if (fromVariable)
        base = variable;
    else if (!configured.empty())
        base = configured;
    else
        base = BuiltInUpdateBaseAddress();
    if (base.empty())
        return Result<std::string>::Fail(kCheckUpdateErrorKey,
                                         "no update service is configured: set \"UpdateBaseURL\" in the "
                                         "drive's Resources/Configuration.plist");
    if (Status usable = CheckUpdateBaseAddress(base); !usable)
        return Result<std::string>::From(std::move(usable));
    // Over plain http anyone on the way answers in the service's name.
    if (!base.starts_with("https://") && !(fromVariable && IsLoopbackHttpAddress(base)))
        return Result<std::string>::Fail(kCheckUpdateErrorKey, "updates are fetched over https only, not from " + base);
    return Result<std::string>::Ok(std::move(base));
}

std::string UpdateScriptAddress(std::string_view base)
{
    return std::string(base) + std::string(kUpdateScriptName);
}

std::string UpdateRequestAddress(std::string_view script, std::string_view id, std::string_view version)
{
    std::string address(script);
    address += "?id=";
    address += id;
    address += "&ver=";
    address += version;
    return address;
}

}  // namespace halvex
