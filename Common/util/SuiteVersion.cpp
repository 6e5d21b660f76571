#include "util/SuiteVersion.h"

#include "HalvexVersion.h"
#include "util/BoundedRead.h"

namespace halvex {

std::string SuiteVersionText()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch) +
           "." + std::to_string(kVersionBuild);
}

std::string SuiteVersionForUpdate()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch);
}

std::string DriveSuiteVersionForUpdate(const std::filesystem::path& programFolder)
{
    Result<std::string> read = ReadBoundedFile(programFolder / "VERSION", 64);
    if (!read)
        return SuiteVersionForUpdate();
    std::string text = std::move(read).value();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    // One to four numbers of one to nine digits; the first three are sent.
    std::string version;
    int numbers = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size() || text[i] == '.';
        if (end) {
            if (digits == 0 || ++numbers > 4)
                return SuiteVersionForUpdate();
            digits = 0;
            if (numbers < 3 && i < text.size())
                version += '.';
        } else if (text[i] < '0' || text[i] > '9' || ++digits > 9) {
            return SuiteVersionForUpdate();
        } else if (numbers < 3) {
            version += text[i];
        }
    }
    return version;
}

}  // namespace halvex
