#pragma once

#include <sys/types.h>

#include <filesystem>

#include "util/Status.h"

namespace halvex {

// Whether a path still names the folder it named when watching began. A
// folder that went away, or another one in its place (the empty mount point
// a pulled drive leaves), both count as gone: a run that writes into the
// folder stops rather than fill what stands there now.
class FolderWatch {
public:
    // Notes the folder `path` names now. "folder_unwatchable" with the path
    // and the system's reason when it names none.
    Status Watch(const std::filesystem::path& path);
    // False when watching never began on a folder.
    bool StillThere() const;

private:
    std::filesystem::path m_path;
    bool m_bKnown = false;
    dev_t m_nDevice = 0;
    ino_t m_nInode = 0;
};

}  // namespace halvex
