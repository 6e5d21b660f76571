#include "backup/ArchivePool.h"

#include <algorithm>

namespace halvex {

ArchivePool::ArchivePool(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { Run(); });
}

ArchivePool::~ArchivePool()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_wake.notify_all();
    // The workers finish the queue before they leave, so every future answers.
    for (auto& worker : m_workers)
        worker.join();
}

std::future<Status> ArchivePool::Submit(std::function<Status()> work)
{
    if (m_workers.empty())
        return std::async(std::launch::deferred, std::move(work));
    std::packaged_task<Status()> task(std::move(work));
    auto result = task.get_future();
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(task));
    }
    m_wake.notify_one();
    return result;
}

void ArchivePool::Run()
{
    for (;;) {
        std::packaged_task<Status()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        task();
    }
}

unsigned ArchivePool::DefaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores, 1u, 4u);
}

}  // namespace halvex
