#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "util/Status.h"

// A plain-text log: one line per Write, each ended by a line feed, UTF-8 as
// given. The sync log is written through it. Used by one thread at a time.
class KXLog {
public:
    KXLog() = default;
    virtual ~KXLog();
    KXLog(const KXLog&) = delete;
    KXLog& operator=(const KXLog&) = delete;
    KXLog(KXLog&& other) noexcept;
    KXLog& operator=(KXLog&& other) noexcept;

    bool IsOpen() const { return m_nFd >= 0; }

    // Closes a held file first (a failing close fails Open). Opens `path`
    // write-only, created 0600 when missing, emptied when `truncate`, else
    // appended to. A link at `path` is refused: the log lives in a temporary
    // folder and must not write through a planted link. A failure is
    // "file_save_err" with the file and the system's reason.
    [[nodiscard]] halvex::Status Open(const std::filesystem::path& path, bool truncate);

    // Writes the text and, when at least one byte of it was written, a line
    // feed. Returns the count of the text's bytes written, or -1 on failure
    // (nothing open, or the write failed). The empty text writes nothing.
    ssize_t Write(std::string_view text);
    // A line feed alone; the count written or -1.
    ssize_t WriteLine();

    // Ok when nothing was open or the close succeeded; closed afterwards in
    // every case.
    [[nodiscard]] halvex::Status Close();

private:
    int m_nFd = -1;
    std::filesystem::path m_path;  // of the open file, for a failing close
};
