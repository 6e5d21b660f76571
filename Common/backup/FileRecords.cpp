#include "backup/FileRecords.h"

bool sortByName(FileDescrItemCat a, FileDescrItemCat b)
{
    return a.name > b.name;
}
bool sortBySize(FileDescrItemCat a, FileDescrItemCat b)
{
    return a.size > b.size;
}
bool sortByCategory(FileDescrItemCat a, FileDescrItemCat b)
{
    return a.category > b.category;
}
bool sortByName(FileDescrItem a, FileDescrItem b)
{
    return a.name > b.name;
}
bool sortBySize(FileDescrItem a, FileDescrItem b)
{
    return a.size > b.size;
}
bool sortByDesc(FileDescrItem a, FileDescrItem b)
{
    return a.description > b.description;
}
bool sortByDate(FileDescrItem a, FileDescrItem b)
{
    return a.modified > b.modified;
}

namespace halvex {

std::string ListSizeText(std::uint64_t size)
{
    if (size == 1)
        return "1 byte";
    if (size < 1024)
        return std::to_string(size) + " bytes";
    return std::to_string(size / 1024) + " KB";
}

}  // namespace halvex
