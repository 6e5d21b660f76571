#include "update/UpdateCheck.h"

#include "update/KXAutoUpdate.h"
#include "update/UpdateService.h"
#include "util/SuiteVersion.h"

namespace halvex {

UpdateCheckResult RunUpdateCheck(const UpdateCheckOptions& options)
{
    UpdateCheckResult result;
    if (!KXAutoUpdate::IsConnectionAvailable(options.routeFile, options.ipv6RouteFile)) {
        result.outcome = UpdateCheckOutcome::NoConnection;
        return result;
    }
    std::string base;
    if (Status status = UpdateBaseAddress(base, options.configuredBaseAddress); !status) {
        result.detail = status.detail;
        return result;
    }
    const std::string version = options.version.empty() ? SuiteVersionForUpdate() : options.version;
    KXAutoUpdate update;
    const bool understood =
        update.CheckUpdate(UpdateScriptAddress(base), kUpdateProductId, version, options.limits, options.cancel);
    result.error = update.m_nError;
    result.detail = update.LastDetail();
    if (!understood)
        return result;
    if (!update.m_bUpdateAvailable) {
        result.outcome = UpdateCheckOutcome::NothingNew;
        return result;
    }
    result.outcome = UpdateCheckOutcome::Offer;
    result.version = update.m_strVersion;
    result.packageAddress = base + update.m_strURL;
    result.sha256 = update.m_strSha256;
    return result;
}

const char* UpdateCheckMessageKey(UpdateCheckOutcome outcome)
{
    switch (outcome) {
    case UpdateCheckOutcome::NoConnection: return "check_update_no_conn";
    case UpdateCheckOutcome::Offer: return "check_update_avail";
    case UpdateCheckOutcome::Error:
    case UpdateCheckOutcome::NothingNew: break;
    }
    return "check_update_err";
}

std::jthread CheckUpdateAsync(UpdateCheckOptions options, std::function<void(const UpdateCheckResult&)> onOffer)
{
    return std::jthread([options = std::move(options), onOffer = std::move(onOffer)](std::stop_token stop) mutable {
        std::atomic<bool> cancel{false};
        std::stop_callback onStop(stop, [&cancel] { cancel = true; });
        options.cancel = &cancel;
        const UpdateCheckResult result = RunUpdateCheck(options);
        if (result.outcome == UpdateCheckOutcome::Offer && !stop.stop_requested() && onOffer)
            onOffer(result);
    });
}

}  // namespace halvex
