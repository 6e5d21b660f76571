#include "app/sync/SyncScanReports.h"

#include <chrono>

#include "toolkit/DWWorkDlg.h"

namespace halvex::app {

void SyncScanReports::OnScanProgress(const ScanCounters&, const std::string& message)
{
    m_window.SetMessage(message);
}

void SyncScanReports::OnRowAdded(const ItemData& row, const ScanCounters&)
{
    std::unique_lock lock(m_feed.mutex);
    if (m_feed.pending.size() >= ScanFeed::kFullBatch)
        m_feed.taken.wait_for(lock, std::chrono::seconds(2),
                              [this] { return m_feed.pending.size() < ScanFeed::kFullBatch; });
    m_feed.pending.push_back(row);
}

}  // namespace halvex::app
