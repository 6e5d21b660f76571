#pragma once

#include "toolkit/DWProgressDlg.h"
#include "update/PackageDownload.h"

// The download of an update package behind a progress window: the package's
// name on the first line, megabytes, rate and time left on the second. Cancel
// stops at once, without a question, and leaves nothing behind.
class KWDownloadDlg : public DWProgressDlg {
    Q_OBJECT

public:
    KWDownloadDlg(QWidget* owner, halvex::PackageRequest request);

    // Runs the download modally; Cancelled when the user cancelled.
    halvex::Status Download();

private:
    halvex::PackageRequest m_request;
};
