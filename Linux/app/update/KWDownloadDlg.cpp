#include "app/update/KWDownloadDlg.h"

#include <chrono>

#include "strings/KXStrings.h"
#include "update/KXAutoUpdate.h"
#include "toolkit/AppText.h"

KWDownloadDlg::KWDownloadDlg(QWidget* owner, halvex::PackageRequest request)
    : DWProgressDlg(owner, TextOr("app_name")), m_request(std::move(request))
{}

halvex::Status KWDownloadDlg::Download()
{
    auto result = halvex::Status::Fail(halvex::kDownloadErrorKey);
    const std::string title = halvex::DownloadTitleText(KXStrings::GetString("download_update"), m_request.address);
    const std::string status = KXStrings::GetString("download_status");
    Run([&](DWWorkDlg& window) {
        window.SetStatus(title);
        const auto start = std::chrono::steady_clock::now();
        bool rangeSet = false;
        result = halvex::DownloadPackage(m_request, [&](std::uint64_t done, std::uint64_t expected) {
            if (window.IsCancelled())
                return false;
            // Without a length from the server there is no bar and no line.
            if (!rangeSet && expected > 0) {
                window.SetRange(static_cast<std::int64_t>(expected));
                rangeSet = true;
            }
            if (rangeSet && done > 0) {
                window.SetPos(static_cast<std::int64_t>(done));
                window.SetCount(KXAutoUpdate::GetDownloadSize(done, expected, start, status));
            }
            return !window.IsCancelled();
        });
    });
    return result;
}
