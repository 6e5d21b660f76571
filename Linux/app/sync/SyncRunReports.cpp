#include "app/sync/SyncRunReports.h"

#include "toolkit/DWWorkDlg.h"
#include "toolkit/KWMsgBox.h"
#include "toolkit/UiThread.h"

namespace halvex::app {

SyncRunReports::SyncRunReports(DWWorkDlg& window, std::function<void(DWWorkDlg&, std::uint32_t)> hook)
    : SyncUiCallback(&window), m_window(window), m_fnHook(std::move(hook))
{}

void SyncRunReports::OnRunStatus(const std::string& status)
{
    m_window.WaitWhilePaused();
    if (!status.empty() && m_fnHook)
        m_fnHook(m_window, m_processed);
    m_window.SetStatus(status);
}

void SyncRunReports::OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total)
{
    m_processed = processed;
    m_window.SetCount(countText);
    m_window.SetRange(total);
    m_window.SetPos(processed);
}

void SyncRunReports::OnFileProgress(std::uint64_t, std::uint64_t)
{
    m_window.WaitWhilePaused();
}

void SyncRunReports::ShowMessage(const std::string& text, MessageIcon icon)
{
    RunOnUiThread(&m_window, [&] {
        m_window.setEnabled(false);
        KWMsgBox::Show(&m_window, text, IconOf(icon), KWMsgBox::kOk, KWMsgBox::kIdOk);
        m_window.setEnabled(true);
    });
}

}  // namespace halvex::app
