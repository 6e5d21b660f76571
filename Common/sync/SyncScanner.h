#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sync/ItemData.h"
#include "sync/SyncCallback.h"
#include "sync/SyncControl.h"

namespace halvex {

enum class Recursion { TopOnly, Into };

// The comparison of the two folders of the pair: one pass from the computer
// to the drive, then one from the drive to the computer. A file is listed when
// it is missing on the other side or newer on this side; nothing is deleted
// and the newer copy wins.
class SyncScanner {
public:
    SyncScanner(SyncCallback& callback, const SyncControl& control, Recursion recursion,
                SyncPacing pacing = {});

    // Clears rows and counters, runs both passes. False when cancelled; the
    // rows found until then stay.
    bool Scan(const std::filesystem::path& computerFolder, const std::filesystem::path& driveFolder,
              std::vector<ItemData>& rows);

    // One pass; appends rows. False when cancelled.
    bool ScanPass(bool sourceUsb, const std::filesystem::path& source, const std::filesystem::path& target,
                  std::vector<ItemData>& rows);

    const ScanCounters& Counters() const { return m_counters; }

private:
    struct Pass;
    bool ScanFolder(int sourceFd, int targetFd, Pass& pass);
    void ListFile(int sourceFd, const char* name, bool sourceKnown, const struct stat& source, Pass& pass);
    void ReportProgress();

    SyncCallback& m_callback;
    const SyncControl& m_control;
    Recursion m_recursion;
    SyncPacing m_pacing;
    ScanCounters m_counters;
    std::string m_dateFormat;  // the user's formats, read once per scanner
    std::string m_timeFormat;
};

}  // namespace halvex
