#include "backup/FileRecords.h"

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
