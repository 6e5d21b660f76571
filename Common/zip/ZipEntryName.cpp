#include "zip/ZipEntryName.h"

namespace halvex {

bool IsSafeEntryName(std::string_view name)
{
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return false;
    if (name.front() == '/' || name.front() == '\\')
        return false;
    // A drive letter makes the name absolute to other systems' tools.
    if (name.size() >= 2 && name[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace halvex
