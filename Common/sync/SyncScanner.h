#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sync/ItemData.h"
#include "sync/SyncCallback.h"
#include "sync/SyncControl.h"

namespace halvex {

class FolderListing;

enum class Recursion { TopOnly, Into };
// Whether a scan keeps its rows in the vector it fills, or only hands each
// to the callback: a list that holds rows its own way need not pay twice.
enum class RowKeeping { Keep, CallbackOnly };

// The comparison of the two folders of the pair. Pass 1 lists what the
// computer folder has that the drive folder lacks or holds older; pass 2 the
// same from the drive to the computer. Nothing is deleted and the newer copy
// wins (more than two seconds newer: FAT keeps times in steps of two).
//
// Both passes are done in one walk over the two trees, so each file is read
// once on each side; the rows still come out as two passes would give them:
// pass 1 rows first, then pass 2 rows, each in its source folder's
// enumeration order with a subfolder's files where the subfolder is met.
// Hidden names, links, devices and ".lnk" files are passed over; a link on
// the other side is never listed for replacement.
class SyncScanner {
public:
    SyncScanner(SyncCallback& callback, const SyncControl& control, Recursion recursion,
                SyncPacing pacing = {});

    // Clears rows and counters and compares the pair. False when cancelled:
    // the rows of pass 1 found until then stay, pass 2 rows are not added.
    bool Scan(const std::filesystem::path& computerFolder, const std::filesystem::path& driveFolder,
              std::vector<ItemData>& rows);

    const ScanCounters& Counters() const { return m_counters; }
    void SetRowKeeping(RowKeeping keeping) { m_rowKeeping = keeping; }

private:
    enum class EntryUse { Skip, Folder, File };
    EntryUse Classify(const FolderListing& listing, std::size_t i, int folderFd, bool onFat);
    bool WalkPair(int computerFd, int driveFd, std::vector<ItemData>& rows, std::vector<ItemData>& fromDrive);
    bool WalkOneWay(bool sourceUsb, int sourceFd, int targetFd, std::vector<ItemData>& out);
    ItemData MakeRow(bool sourceUsb, int sourceFd, const char* name, const struct stat* source) const;
    void Announce(std::vector<ItemData>& rows, ItemData&& row);
    bool Stop();
    void ReportProgress();

    SyncCallback& m_callback;
    const SyncControl& m_control;
    Recursion m_recursion;
    SyncPacing m_pacing;
    RowKeeping m_rowKeeping = RowKeeping::Keep;
    ScanCounters m_counters;
    std::string m_computerRoot;  // with a trailing separator
    std::string m_driveRoot;
    std::string m_relative;      // the folder in hand below the roots: "" or "a/b/"
    std::string m_dateFormat;    // the user's formats, read once per scanner
    std::string m_timeFormat;
};

}  // namespace halvex
