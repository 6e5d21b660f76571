#pragma once

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "sync/ItemData.h"
#include "sync/SyncCallback.h"
#include "sync/SyncControl.h"
#include "util/Status.h"

namespace halvex {

class FolderListing;

enum class Recursion { TopOnly, Into };
// Whether a scan keeps its rows in the vector it fills, or only hands each
// to the callback: a list that holds rows its own way need not pay twice.
enum class RowKeeping { Keep, CallbackOnly };

// The scan's settings, set by name; a new setting touches no signature.
struct SyncScanOptions {
    // "SyncSubfolders": off (the preference's default), only what lies
    // directly in the two folders takes part.
    Recursion recursion = Recursion::TopOnly;
    SyncPacing pacing;
    RowKeeping rowKeeping = RowKeeping::Keep;
};

// The comparison of the two folders of the pair. Pass 1 lists what the
// computer folder has that the drive folder lacks or holds older; pass 2 the
// same from the drive to the computer. Nothing is deleted and the newer copy
// wins (more than two seconds newer: FAT keeps times in steps of two).
// Two copies of the same size whose times differ only by a time-zone shift
// (whole quarter hours, up to 14 hours) are compared byte by byte: equal
// ones are counted (ScanCounters::timeShifted), not listed.
//
// Both passes are done in one walk over the two trees, so each file is read
// once on each side; the rows still come out as two passes would give them:
// pass 1 rows first, then pass 2 rows, each in its source folder's
// enumeration order with a subfolder's files where the subfolder is met.
// What SyncPassesOver names (hidden entries, shortcuts) is passed over, and
// so are links and devices that have nothing of their name on the other side.
//
// When either side folds case (FAT, exFAT), names are paired as that side
// sees them: `Report.txt` and `report.txt` are one row, written under the
// name the destination already has. What cannot be copied safely becomes a
// problem row (see ItemData::problem) that the run reports as a failure:
// two names of one side that the other side would make one, a link where
// the other side has a file or folder, a file facing a folder, a folder that
// cannot be read (its subtree is left alone on both sides), a name a folding
// side cannot hold. Subfolders are entered by descriptor, never through a link.
class SyncScanner {
public:
    SyncScanner(SyncCallback& callback, const SyncControl& control, SyncScanOptions options = {});

    // Clears rows and counters and compares the pair. What cannot be read
    // becomes a problem row, so the scan itself fails only when cancelled
    // (Status::Cancelled()): the rows of pass 1 found until then stay, pass 2
    // rows are not added.
    [[nodiscard]] Status Scan(const std::filesystem::path& computerFolder, const std::filesystem::path& driveFolder,
                              std::vector<ItemData>& rows);

    const ScanCounters& Counters() const { return m_counters; }

private:
    struct Group;
    // A pass 2 row waiting for pass 1 to end, kept small: its text lives in
    // the chunks of m_pendingText (file rows: the drive-relative source, then the
    // computer-relative target; problem rows: the item, the key, the detail),
    // and the row is made whole only when it is shown.
    struct PendingRow {
        std::uint32_t chunk = 0;
        std::uint32_t offset = 0;
        std::uint32_t lengths[3] = {0, 0, 0};
        bool problem = false;
        bool readable = false;
        bool dstExists = false;
        std::uint64_t size = 0;
        std::int64_t date = 0;
        std::uint64_t dstSize = 0;
        std::int64_t dstTimeNs = 0;
    };
    enum class EntryUse { Skip, Link, Other, Folder, File };
    EntryUse Classify(const FolderListing& listing, std::size_t i, int folderFd, bool onFat);
    bool WalkPair(int computerFd, int driveFd, std::vector<ItemData>& rows);
    bool Pair(const Group& group, const FolderListing& computer, const FolderListing& drive, int computerFd,
              int driveFd, std::vector<ItemData>& rows);
    void PairFiles(const char* computerName, const char* driveName, int computerFd, int driveFd,
                   std::vector<ItemData>& rows);
    ItemData MakeRow(bool fromDrive, int sourceFd, const char* name, const char* dstName,
                     const struct stat* source) const;
    void Problem(bool onDrive, const char* name, const std::string& key, std::string detail,
                 std::vector<ItemData>& rows);
    void Place(ItemData&& row, std::vector<ItemData>& rows);
    void Announce(std::vector<ItemData>& rows, ItemData&& row);
    void Hold(const ItemData& row);
    void AnnounceHeld(std::vector<ItemData>& rows);
    bool Stop();
    void ReportProgress();

    SyncCallback& m_callback;
    const SyncControl& m_control;
    SyncScanOptions m_options;
    ScanCounters m_counters;
    bool m_computerFolds = false;
    bool m_driveFolds = false;
    std::string m_computerRoot;  // with a trailing separator
    std::string m_driveRoot;
    // The folder in hand below each root, "" or "a/b/", under each side's own names.
    std::string m_computerRelative;
    std::string m_driveRelative;
    std::string m_dateFormat;  // the user's formats, read once per scanner
    std::string m_timeFormat;
    // Neither grows by copying all it holds: a deque adds blocks, the text
    // adds chunks.
    std::deque<PendingRow> m_pending;
    std::vector<std::string> m_pendingText;
};

}  // namespace halvex
