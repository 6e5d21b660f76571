#include "sync/SyncLog.h"

#include <ctime>

#include "strings/KXStrings.h"
#include "util/FileDateText.h"
#include "util/IgnoreResult.h"

namespace halvex {

// The log is a convenience beside the run's own report; a log that cannot be
// written never stops or fails a sync.
constexpr char kLogIsOptional[] = "the sync log never decides the run";

SyncLog::SyncLog(bool enabled, std::filesystem::path path) : m_enabled(enabled), m_path(std::move(path)) {}

std::string SyncLog::ExpandTabs(std::string value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 't') {
            out += '\t';
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

void SyncLog::Begin()
{
    if (!m_enabled || m_path.empty() || !m_log.Open(m_path, false))
        return;
    const std::string stamp = FormatFileDate(std::time(nullptr), UserShortDateFormat(), UserTimeFormatWithoutSeconds());
    IgnoreResult(m_log.Write(KXStrings::Format("sync_log_begin", stamp)), kLogIsOptional);
}

void SyncLog::WriteFileLine(const char* key, const std::filesystem::path& source)
{
    if (!m_log.IsOpen())
        return;
    IgnoreResult(m_log.Write(FormatText(ExpandTabs(KXStrings::GetString(key)), source)), kLogIsOptional);
}

void SyncLog::DiskFull(const std::filesystem::path& source)
{
    WriteFileLine("sync_log_disk_full", source);
}
void SyncLog::FileFailed(const std::filesystem::path& source)
{
    WriteFileLine("sync_log_file_sys", source);
}
void SyncLog::Cancelled(const std::filesystem::path& source)
{
    WriteFileLine("sync_log_cancelled", source);
}

void SyncLog::Problem(const std::filesystem::path& item, const std::string& reason)
{
    if (m_log.IsOpen())
        IgnoreResult(m_log.Write(FormatText(ExpandTabs(KXStrings::GetString("sync_log_problem")), item, reason)),
                     kLogIsOptional);
}

void SyncLog::Trashed(std::uint32_t count)
{
    if (m_log.IsOpen() && count > 0)
        IgnoreResult(m_log.Write(KXStrings::Format(kSyncTrashedKey, count)), kLogIsOptional);
}

void SyncLog::End(std::uint32_t successes, std::uint32_t failures)
{
    if (!m_log.IsOpen())
        return;
    IgnoreResult(m_log.Write(KXStrings::Format("sync_log_end", successes, failures)), kLogIsOptional);
    IgnoreResult(m_log.Close(), kLogIsOptional);
}

}  // namespace halvex
