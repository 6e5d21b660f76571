#pragma once

// Reads a trash's info file as a file manager would: the group header, then
// Path and DeletionDate, each once.

#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "TestFiles.h"
#include "util/FreedesktopTrash.h"

namespace halvex::test {

struct TrashInfo {
    std::string path;  // decoded
    std::string date;
};

inline std::optional<TrashInfo> ParseTrashInfo(const std::filesystem::path& file)
{
    std::istringstream in(ReadFile(file));
    std::string line;
    if (!std::getline(in, line) || line != "[Trash Info]")
        return std::nullopt;
    TrashInfo info;
    int paths = 0;
    int dates = 0;
    while (std::getline(in, line)) {
        if (line.rfind("Path=", 0) == 0) {
            const auto decoded = DecodeTrashPath(line.substr(5));
            if (!decoded)
                return std::nullopt;
            info.path = *decoded;
            ++paths;
        } else if (line.rfind("DeletionDate=", 0) == 0) {
            info.date = line.substr(13);
            ++dates;
        }
    }
    static const std::regex kDate(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})");
    if (paths != 1 || dates != 1 || !std::regex_match(info.date, kDate))
        return std::nullopt;
    return info;
}

}  // namespace halvex::test
