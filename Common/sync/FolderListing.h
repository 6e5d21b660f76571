#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/Status.h"

namespace halvex {

// The entries of one folder, read at once: names in one buffer (one
// allocation per folder, not per file) and a compact record per entry.
// Every entry but "." and ".."; what the sync passes over is left to
// SyncPassesOver (sync/SyncPassOver.h).
class FolderListing {
public:
    enum class Kind : std::uint8_t { File, Folder, Link, Other };

    struct Entry {
        std::uint32_t nameOffset = 0;
        Kind kind = Kind::Other;
    };

    // Reads the folder of the descriptor (which stays open and owned by the
    // caller). Fails with "sync_folder_unreadable" and the system's reason
    // when the folder could not be read to its end: a listing cut short must
    // not make files look missing.
    [[nodiscard]] Status Read(int folderFd);

    std::size_t size() const { return m_entries.size(); }
    Kind kind(std::size_t i) const { return m_entries[i].kind; }
    const char* Name(std::size_t i) const { return m_names.data() + m_entries[i].nameOffset; }

private:
    std::string m_names;
    std::vector<Entry> m_entries;
};

}  // namespace halvex
