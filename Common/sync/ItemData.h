#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// One row of the sync list: a file to be copied and its direction, or a
// problem found by the scan that the run reports instead of copying.
struct ItemData {
    std::filesystem::path path;     // the source: the newer or only copy
    std::filesystem::path dstPath;  // the other folder of the pair, under the name found there
    std::string name;               // file name, first column
    std::string sizeText;           // empty when the source cannot be read
    std::string dateText;           // empty when the source cannot be read
    std::uint64_t size = 0;
    std::int64_t date = 0;  // modification time, seconds since the epoch
    // true: from the drive folder to the computer folder. "Usb" is the drive
    // side; the field keeps the name the other editions give it.
    bool sourceUsb = false;
    bool synced = false;   // set by the run when the copy and its times succeeded
    bool check = true;     // the row's check box
    bool readable = true;  // false when size and date could not be read

    // The destination as the scan saw it (dstScanned); the run replaces it
    // only while it is still so, and creates a new file only where none has
    // appeared.
    bool dstScanned = false;
    bool dstExists = false;
    std::uint64_t dstSize = 0;
    std::int64_t dstTimeNs = 0;  // modification time, nanoseconds since the epoch

    // Set for a row that is never copied: the string-table key of the reason,
    // and its detail (the other name of a clash, the system's error text).
    // `path` is the item the problem is about, on the side `sourceUsb` says.
    std::string problem;
    std::string problemDetail;
};
