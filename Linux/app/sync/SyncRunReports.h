#pragma once

#include <cstdint>
#include <functional>

#include "app/sync/SyncUiCallback.h"

class DWWorkDlg;

namespace halvex::app {

// The run's reports as the progress window shows them: status, count and
// bar; the worker is held still while the cancel question is open, before a
// file and inside its copy. Called on the worker.
class SyncRunReports : public SyncUiCallback {
public:
    // hook: the tests' seam, called before each file with the count so far.
    SyncRunReports(DWWorkDlg& window, std::function<void(DWWorkDlg&, std::uint32_t)> hook);
    void OnRunStatus(const std::string& status) override;
    void OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total) override;
    void OnFileProgress(std::uint64_t, std::uint64_t) override;
    // The disk-full message: shown over the progress window, which is
    // disabled meanwhile.
    void ShowMessage(const std::string& text, MessageIcon icon) override;

private:
    DWWorkDlg& m_window;
    std::function<void(DWWorkDlg&, std::uint32_t)> m_fnHook;
    std::uint32_t m_processed = 0;
};

}  // namespace halvex::app
