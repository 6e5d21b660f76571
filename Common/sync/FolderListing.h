#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {

// The entries of one folder, read at once: names in one buffer (one
// allocation per folder, not per file) and a compact record per entry.
// Names beginning with "." (hidden, and "." and "..") are left out.
class FolderListing {
public:
    enum class Kind : std::uint8_t { File, Folder, Link, Other };

    struct Entry {
        std::uint32_t nameOffset = 0;
        Kind kind = Kind::Other;
        std::int8_t verdict = 0;  // set by the scan: see SyncScanner
        bool walked = false;      // the scan entered this folder already
    };

    // Reads the folder of the descriptor (which stays open and owned by the
    // caller). An unreadable folder gives an empty listing.
    void Read(int folderFd);

    std::size_t size() const { return m_entries.size(); }
    Entry& operator[](std::size_t i) { return m_entries[i]; }
    Kind kind(std::size_t i) const { return m_entries[i].kind; }
    const char* Name(std::size_t i) const { return m_names.data() + m_entries[i].nameOffset; }
    // The index of the entry with that name, or -1.
    std::ptrdiff_t Find(const char* name) const;

private:
    std::string m_names;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_byName;  // entry indices sorted by name
};

}  // namespace halvex
