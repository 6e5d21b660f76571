#include "backup/OriginalFolderCheck.h"

#include <algorithm>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace halvex {

namespace {

// The path's names, without the root and empty names (trailing slashes); false
// for "." or "..".
bool PlainNames(const fs::path& path, std::vector<std::string>& names)
{
    for (const fs::path& part : path.relative_path()) {
        const std::string name = part.string();
        if (name.empty())
            continue;
        if (name == "." || name == "..")
            return false;
        names.push_back(name);
    }
    return true;
}

}  // namespace

Status CheckOriginalFolder(const fs::path& folder, const fs::path& home)
{
    std::vector<std::string> names;
    std::vector<std::string> homeNames;
    if (!folder.is_absolute() || !PlainNames(folder, names))
        return Status::Fail(kOriginalNotAbsoluteKey, folder.string());
    if (!home.is_absolute() || !PlainNames(home.lexically_normal(), homeNames) || homeNames.empty() ||
        names.size() < homeNames.size() || !std::equal(homeNames.begin(), homeNames.end(), names.begin()))
        return Status::Fail(kOriginalOutsideHomeKey, folder.string());
    for (std::size_t i = homeNames.size(); i < names.size(); ++i)
        if (names[i].front() == '.')
            return Status::Fail(kOriginalHiddenKey, folder.string());
    return Status::Ok();
}

}  // namespace halvex
