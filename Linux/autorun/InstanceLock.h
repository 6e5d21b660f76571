#pragma once

#include <filesystem>

namespace halvex {

// One agent per user: an exclusive lock on a file in the user's runtime
// folder, held for the life of the process and let go by the kernel when it
// ends, however it ends.
class InstanceLock {
public:
    enum class State { Held, HeldByAnother, Unavailable };

    explicit InstanceLock(const std::filesystem::path& file);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }

    // $XDG_RUNTIME_DIR/PelloryAutoRun.lock; without a runtime folder the
    // user's cache folder, never a folder other users may write.
    static std::filesystem::path DefaultFile();

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

}  // namespace halvex
