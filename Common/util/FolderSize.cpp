#include "util/FolderSize.h"

#include <vector>

namespace halvex {

std::uint64_t FolderSize(const std::filesystem::path& folder, const std::atomic<bool>* cancel)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error)))
        return 0;

    // An explicit stack rather than the recursive iterator: that one ends
    // the whole walk at the first entry that vanishes or cannot be read,
    // which would pass a short total off as the folder's size.
    std::vector<fs::path> pending{folder};
    std::uint64_t total = 0;
    bool first = true;
    while (!pending.empty()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        fs::directory_iterator it(current, fs::directory_options::skip_permission_denied, error);
        if (error) {
            if (first)
                return 0;
            error.clear();
            continue;  // unreadable or vanished sub-folder
        }
        first = false;
        for (const fs::directory_iterator end; it != end; it.increment(error)) {
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
                return 0;
            std::error_code statError;
            const fs::file_status status = it->symlink_status(statError);
            if (statError)
                continue;
            if (fs::is_directory(status)) {
                pending.push_back(it->path());
            } else if (fs::is_regular_file(status)) {
                const std::uintmax_t size = it->file_size(statError);
                if (!statError)
                    total += size;
            }
        }
        error.clear();
    }
    return total;
}

}  // namespace halvex
