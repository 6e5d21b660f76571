#include "app/sync/SyncScanReports.h"

#include "toolkit/DWWorkDlg.h"

namespace halvex::app {

void SyncScanReports::OnScanProgress(const ScanCounters&, const std::string& message)
{
    m_window.SetMessage(message);
}

void SyncScanReports::OnRowAdded(const ItemData& row, const ScanCounters&)
{
    std::lock_guard lock(m_feed.mutex);
    m_feed.pending.push_back(row);
}

}  // namespace halvex::app
