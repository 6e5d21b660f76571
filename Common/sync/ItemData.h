#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// One row of the sync list: a file to be copied and its direction.
struct ItemData {
    std::filesystem::path path;     // the source: the newer or only copy
    std::filesystem::path dstPath;  // the other folder of the pair, same relative path
    std::string name;               // file name, first column
    std::string sizeText;           // empty when the source cannot be read
    std::string dateText;           // empty when the source cannot be read
    std::uint64_t size = 0;
    std::int64_t date = 0;  // modification time, seconds since the epoch
    bool sourceUsb = false;  // true: from the drive folder to the computer folder
    bool synced = false;     // set by the run when the copy and its times succeeded
    bool check = true;       // the row's check box
    bool readable = true;    // false when size and date could not be read
};
