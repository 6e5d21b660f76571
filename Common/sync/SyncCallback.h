#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct ItemData;

namespace halvex {

enum class MessageIcon { Information, Warning, Error };

// The answer to a Yes/No question. Abandon is the CLI's answer when it may not
// say yes on the user's behalf: the operation stops and changes nothing.
enum class Answer { Yes, No, Abandon };

struct ScanCounters {
    std::uint64_t foldersScanned = 0;  // subfolders entered, both passes
    std::uint64_t filesScanned = 0;    // files examined (not skipped), both passes
    std::uint32_t toComputer = 0;      // rows with sourceUsb true
    std::uint32_t toDrive = 0;         // rows with sourceUsb false
    // Files not listed because their two copies are equal and their times
    // differ only by a time-zone shift (a FAT drive's local times).
    std::uint32_t timeShifted = 0;
};

// How the sync engine talks to whoever drives it: the Qt windows, the CLI and
// the tests. Every call comes from the worker thread unless said otherwise;
// an implementation that owns widgets must queue the update to its own thread.
class SyncCallback {
public:
    virtual ~SyncCallback() = default;

    // Scan: the wait window's message, after each folder entered and each row.
    virtual void OnScanProgress(const ScanCounters& counters, const std::string& message) {}
    // Scan: a row was appended (the list may show it at once). The counters
    // already include it, so the arrow of its direction can be shown.
    virtual void OnRowAdded(const ItemData& row, const ScanCounters& counters) {}

    // Run: the status line ("sync_progress_status") before each file.
    virtual void OnRunStatus(const std::string& status) {}
    // Run: the count line and the bar, after each file (and 0 of total at the start).
    virtual void OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total) {}
    // Run: bytes of the file in hand, from inside the copy loop.
    virtual void OnFileProgress(std::uint64_t done, std::uint64_t total) {}
    // Run: a row was copied with its times; the direction counts are already lowered.
    virtual void OnRowSynced(std::size_t row, const ScanCounters& counters) {}
    // Run: a row was not synchronized for a reason the user can act on (a
    // problem row of the scan, a destination changed meanwhile): the item
    // concerned and the localised reason.
    virtual void OnRowFailed(std::size_t row, const std::filesystem::path& item, const std::string& reason) {}

    // A message box: the text is already localised and formatted.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) {}
    // A Yes/No question; defaultYes says which button has the focus.
    virtual Answer Ask(const std::string& text, MessageIcon icon, bool defaultYes)
    {
        return defaultYes ? Answer::Yes : Answer::No;
    }
    // The folder chooser for a computer that has no sync folder yet. Its own
    // rules are in SyncFolderRules; nullopt is Cancel.
    virtual std::optional<std::filesystem::path> ChooseFolder() { return std::nullopt; }
};

}  // namespace halvex
