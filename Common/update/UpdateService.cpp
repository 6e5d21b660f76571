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

Result<std::string> UpdateBaseAddress(std::string_view configured)
{
    std::string base;
    const char* variable = std::getenv(kUpdateUrlVariable);
    if (variable && *variable)
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
