#include "util/SplitFields.h"

#include <algorithm>

namespace halvex {

std::vector<std::string_view> SplitFields(std::string_view line, std::size_t limit, std::string_view blanks)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (fields.size() < limit) {
        at = line.find_first_not_of(blanks, at);
        if (at == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(blanks, at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

}  // namespace halvex
