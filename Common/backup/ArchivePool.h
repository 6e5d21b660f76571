#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "util/Status.h"

namespace halvex {

// A small pool of threads that write archives ahead of the backup walk. Every
// archive is independent, so they compress on all cores while the walk, the
// generation rotation and the callbacks keep their order on the engine's
// thread. With no threads the work runs when its result is asked for.
class ArchivePool {
public:
    explicit ArchivePool(unsigned threads);
    ~ArchivePool();
    ArchivePool(const ArchivePool&) = delete;
    ArchivePool& operator=(const ArchivePool&) = delete;

    std::future<Status> Submit(std::function<Status()> work);
    unsigned Threads() const { return static_cast<unsigned>(m_workers.size()); }

    // The number of threads for this machine: one per core, at most four.
    static unsigned DefaultThreads();

private:
    void Run();

    std::vector<std::thread> m_workers;
    std::deque<std::packaged_task<Status()>> m_queue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStopping = false;
};

}  // namespace halvex
