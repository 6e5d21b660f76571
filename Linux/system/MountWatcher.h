#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "system/MountInfo.h"
#include "util/Status.h"

namespace halvex {

// Follows the mount table and tells which mounts appeared, or that any came
// or went, since the last look: the agent's and the main window's one watch.
// The kernel flags /proc/self/mountinfo with POLLPRI when the table changes;
// a plain file (a test's) gives no such event, so callers also look again
// after a period.
class MountWatcher {
public:
    explicit MountWatcher(std::filesystem::path mountInfo);
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    // Opens the table and takes the mounts present now as known: they were
    // not inserted now. Fails as ReadMountInfo does.
    [[nodiscard]] Status Start();

    // For poll() with POLLPRI; -1 before Start.
    int EventDescriptor() const { return m_fd; }

    // Reads the table again: the mounts not seen in the previous reading, in
    // the table's order. A mount that went away and came back counts as new.
    // An unreadable table gives nothing and keeps the previous reading.
    std::vector<MountEntry> TakeNewMounts();

    // Reads the table again: true when a mount appeared or went since the
    // previous reading. An unreadable table changes nothing.
    bool TakeChange();

    // The comparison itself: entries of `now` whose identity is not in `known`.
    static std::vector<MountEntry> NewMounts(const std::set<std::string>& known, const std::vector<MountEntry>& now);
    static std::set<std::string> Identities(const std::vector<MountEntry>& entries);

private:
    std::filesystem::path m_mountInfo;
    std::set<std::string> m_known;
    int m_fd = -1;
};

}  // namespace halvex
