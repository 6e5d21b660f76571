#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "util/Status.h"

namespace halvex {

// The key of a file that could not be moved to the trash; the detail names
// the file or the trash folder and the system's reason. A file that cannot
// be trashed is never replaced or removed.
inline constexpr char kTrashFailedKey[] = "trash_failed";

// Where the engines put a file they replace or remove, so that nothing is
// lost outright. The engines call this interface only: the Linux layer may
// give them another implementation (a desktop library's trash) without the
// core knowing it.
class Trash {
public:
    virtual ~Trash() = default;

    // Moves `name`, an entry of the open folder `folderFd` whose full path is
    // `path`, into the trash; it is never followed if it is a link. Called on
    // the engine's worker thread.
    [[nodiscard]] virtual Status Discard(int folderFd, const std::string& name, const std::filesystem::path& path) = 0;
};

// The desktop's trash as laid out on disk (FreedesktopTrash).
std::shared_ptr<Trash> SystemTrash();

}  // namespace halvex
