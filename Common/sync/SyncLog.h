#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "log/KXLog.h"

namespace halvex {

// %d replaced files went to the trash: the log, the result and the command line.
inline constexpr char kSyncTrashedKey[] = "sync_trashed";

// The lines of the sync log. The file is opened for appending at the start of
// each run, so the runs of one start of the program share one file.
class SyncLog {
public:
    explicit SyncLog(bool enabled, std::filesystem::path path);

    // Opens the file and writes the begin line; nothing when disabled.
    void Begin();
    void DiskFull(const std::filesystem::path& source);
    void FileFailed(const std::filesystem::path& source);
    void Cancelled(const std::filesystem::path& source);
    // A row not synchronized, with the reason: "sync_log_problem".
    void Problem(const std::filesystem::path& item, const std::string& reason);
    // How many replaced files went to the trash ("sync_trashed"); nothing for none.
    void Trashed(std::uint32_t count);
    // Writes the end line and closes the file.
    void End(std::uint32_t successes, std::uint32_t failures);

    bool IsOpen() const { return m_log.IsOpen(); }

    // A per-file format: each two characters backslash and t become one tab.
    static std::string ExpandTabs(std::string value);

private:
    void WriteFileLine(const char* key, const std::filesystem::path& source);

    bool m_enabled;
    std::filesystem::path m_path;
    KXLog m_log;
};

}  // namespace halvex
