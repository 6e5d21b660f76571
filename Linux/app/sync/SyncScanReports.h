#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "sync/ItemData.h"
#include "sync/SyncCallback.h"

class DWWorkDlg;

namespace halvex::app {

// Rows found by the scan, handed from the worker to the window in batches.
// The worker waits while a batch is full (the window takes one every tenth
// of a second), so a scan that finds rows faster than the list takes them
// never holds them all in full; it waits a bounded time, so a window that
// stops taking rows cannot hang it.
struct ScanFeed {
    static constexpr std::size_t kFullBatch = 8192;
    std::mutex mutex;
    std::condition_variable taken;
    std::vector<ItemData> pending;
};

// The scan's reports as the sync window shows them: the wait message, and the
// rows for the list. Called on the worker.
class SyncScanReports : public SyncCallback {
public:
    SyncScanReports(DWWorkDlg& window, ScanFeed& feed) : m_window(window), m_feed(feed) {}
    void OnScanProgress(const ScanCounters&, const std::string& message) override;
    // The scanner keeps no rows of its own here: this copy is the list's.
    void OnRowAdded(const ItemData& row, const ScanCounters&) override;

private:
    DWWorkDlg& m_window;
    ScanFeed& m_feed;
};

}  // namespace halvex::app
