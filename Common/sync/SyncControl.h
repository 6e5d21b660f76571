#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace halvex {

// Cancel and pause of a scan, a run or a wipe. Set by the thread that runs the
// window (or by the CLI's Ctrl-C handler); read by the worker between entries
// and by the copy loop between chunks. The cancel flag may be one owned
// elsewhere, so a program's own flag stops the engine directly.
class SyncControl {
public:
    SyncControl() = default;
    explicit SyncControl(std::atomic<bool>& cancel) : m_cancel(&cancel) {}
    SyncControl(const SyncControl&) = delete;
    SyncControl& operator=(const SyncControl&) = delete;

    std::atomic<bool>& cancel() const { return *m_cancel; }
    std::atomic<bool>& pause() const { return m_pause; }

    bool Cancelled() const { return m_cancel->load(std::memory_order_relaxed); }

    // Holds the worker still while a question about cancelling is open, so no
    // file is started or finished behind it. Returns whether cancel is set.
    bool HoldWhilePaused() const
    {
        while (m_pause.load(std::memory_order_acquire) && !Cancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Cancelled();
    }

private:
    mutable std::atomic<bool> m_ownCancel{false};
    mutable std::atomic<bool> m_pause{false};
    std::atomic<bool>* m_cancel = &m_ownCancel;
};

// The waits that let a window be seen before and after work. Windows set them;
// the CLI and the tests leave them at zero.
struct SyncPacing {
    std::chrono::milliseconds beforeScan{0};  // 500 in the windows
    std::chrono::milliseconds afterScan{0};   // 1000
    std::chrono::milliseconds beforeRun{0};   // 500
    std::chrono::milliseconds afterRun{0};    // 800
};

// Sleeps in short steps so that a cancel ends the wait early.
inline void PaceWait(std::chrono::milliseconds wait, const SyncControl& control)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end && !control.Cancelled())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(20), end - std::chrono::steady_clock::now()));
}

}  // namespace halvex
