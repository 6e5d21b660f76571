#pragma once

#include <cstdint>
#include <string>

// The records of the backup lists: files found by a collecting run, rows of
// the configuration window's file list and rows of the restore window's list.

// One file found by a collecting run.
struct FileDetails {
    std::string name;      // without folder
    std::string folder;    // ends with a separator
    std::string category;  // or the text of message 40
    std::uint64_t size = 0;
};

// One row of the configuration window's file list.
struct FileDescrItemCat {
    std::string name;
    std::string folder;
    std::string category;
    std::uint64_t size = 0;
    std::string icon;  // icon name for the view
};

// One row of the restore window's file list.
struct FileDescrItem {
    std::string name;
    std::string description;  // type description
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since 1970
    std::string icon;
};

// "a goes before b" in a list sorted by one field, largest, greatest or
// newest first; texts compare byte-wise as UTF-8:
//     std::stable_sort(rows.begin(), rows.end(), GreatestFirst<&FileDescrItem::size, FileDescrItem>);
template <auto Field, class Row>
bool GreatestFirst(const Row& a, const Row& b)
{
    return a.*Field > b.*Field;
}

namespace halvex {

// "1 byte", "%d bytes" below 1024, else "%d KB" of the size divided by 1024.
std::string ListSizeText(std::uint64_t size);

}  // namespace halvex
