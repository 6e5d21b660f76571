#include "system/DiskLabels.h"

#include "util/HexDigit.h"

#include <cstddef>
#include <system_error>

namespace halvex {

namespace {

// A by-label folder of a broken system could be huge; no drive has more.
constexpr std::size_t kMaxLabelLinks = 4096;

}  // namespace

std::string DecodeUdevEscapes(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = HexDigit(name[i + 2]);
            const int low = HexDigit(name[i + 3]);
            if (high >= 0 && low >= 0 && (high != 0 || low != 0)) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::string FindLabelFor(const std::filesystem::path& byLabelFolder, std::string_view kernelName)
{
    if (kernelName.empty())
        return {};
    std::error_code error;
    std::filesystem::directory_iterator it(byLabelFolder, error);
    std::size_t seen = 0;
    for (; !error && it != std::filesystem::directory_iterator() && seen < kMaxLabelLinks;
         it.increment(error), ++seen) {
        std::error_code linkError;
        const std::filesystem::path target = std::filesystem::read_symlink(it->path(), linkError);
        if (linkError)
            continue;
        if (target.filename() == kernelName)
            return DecodeUdevEscapes(it->path().filename().string());
    }
    return {};
}

}  // namespace halvex
