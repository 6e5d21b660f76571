#include "update/UpdateCheck.h"

#include "update/KXAutoUpdate.h"
#include "update/UpdateService.h"
#include "util/SuiteVersion.h"

namespace halvex {

Result<UpdateAnswer> RunUpdateCheck(const UpdateCheckOptions& options)
{
    // Asking would be pointless: no package could be checked.
    if (options.updateKeys.empty())
        return Result<UpdateAnswer>::Fail(kUpdateNotSetUpKey);
    if (!KXAutoUpdate::IsConnectionAvailable(options.routeFile, options.ipv6RouteFile))
        return Result<UpdateAnswer>::Fail(kCheckUpdateNoConnectionKey);
    const Result<std::string> base = UpdateBaseAddress(options.configuredBaseAddress);
    if (!base)
        return Result<UpdateAnswer>::From(base.status());
    const std::string version = options.version.empty() ? SuiteVersionForUpdate() : options.version;
    KXAutoUpdate update;
    const Status understood = update.CheckUpdate(UpdateScriptAddress(base.value()), kUpdateProductId, version,
                                                 options.limits, options.cancel);
    // A refusal is an answer too: its number tells the command line's user why.
    if (!understood && update.m_nError == 0)
        return Result<UpdateAnswer>::From(understood);
    UpdateAnswer answer;
    answer.serviceError = update.m_nError;
    if (update.m_bUpdateAvailable)
        answer.offer =
            UpdateOffer{update.m_strVersion, base.value() + update.m_strURL, update.m_strSha256, update.m_strSignature};
    return Result<UpdateAnswer>::Ok(std::move(answer));
}

const char* UpdateCheckMessageKey(const Result<UpdateAnswer>& checked)
{
    if (!checked && checked.messageKey() == kCheckUpdateNoConnectionKey)
        return kCheckUpdateNoConnectionKey;
    if (!checked && checked.messageKey() == kUpdateNotSetUpKey)
        return kUpdateNotSetUpKey;
    return kCheckUpdateErrorKey;
}

std::jthread CheckUpdateAsync(UpdateCheckOptions options, std::function<void(const UpdateOffer&)> onOffer)
{
    return std::jthread(
        [options = std::move(options), onOffer = std::move(onOffer)](const std::stop_token& stop) mutable {
            std::atomic<bool> cancel{false};
            std::stop_callback onStop(stop, [&cancel] { cancel = true; });
            options.cancel = &cancel;
            const Result<UpdateAnswer> checked = RunUpdateCheck(options);
            if (checked && checked.value().offer && !stop.stop_requested() && onOffer)
                onOffer(*checked.value().offer);
        });
}

}  // namespace halvex
