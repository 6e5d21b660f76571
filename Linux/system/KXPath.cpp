#include "system/KXPath.h"

#include <sys/stat.h>

#include <cerrno>

namespace fs = std::filesystem;

fs::path KXPath::AppendComponent(const fs::path& path, std::string_view name)
{
    // A leading separator must not make the name replace the whole path.
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return path / fs::path(name);
}

bool KXPath::ValidateFolder(const fs::path& path, bool create)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        return true;
    if (!create || path.empty())
        return false;
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && fs::is_directory(path, error));
}
