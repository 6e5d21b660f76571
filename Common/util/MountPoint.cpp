#include "util/MountPoint.h"

namespace halvex {

std::filesystem::path MountPointAbove(std::filesystem::path at, const struct stat& st)
{
    for (;;) {
        const std::filesystem::path parent = at.parent_path();
        struct stat up {};
        if (parent == at || ::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev)
            return at;
        at = parent;
    }
}

}  // namespace halvex
