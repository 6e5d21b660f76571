#include "update/UpdaterOptions.h"
#include "util/ParseInteger.h"

#include <charconv>
#include <map>

namespace fs = std::filesystem;

namespace halvex {

namespace {

fs::path WithoutTrailingSeparator(const fs::path& path)
{
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

std::optional<UpdaterOptions> ParseUpdaterOptions(const std::vector<std::string>& arguments)
{
    std::map<std::string, std::string> values;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        const std::string& key = arguments[i];
        if (key.size() < 2 || key[0] != '-')
            continue;
        values[key.substr(1)] = arguments[i + 1];
        ++i;
    }
    UpdaterOptions options;
    const std::string& pid = values["pid"];
    const auto number = ParseInteger<long long>(pid);
    if (!number || *number <= 0 || *number > 0x7fffffff)
        return std::nullopt;
    options.pid = static_cast<pid_t>(*number);
    options.name = values["name"];
    options.curPath = values["cur"];
    options.zipPath = values["zip"];
    options.version = values["ver"];
    options.signature = values["sig"];
    options.silent = values["silent"] == "1";
    if (options.name.empty() || options.curPath.empty() || options.zipPath.empty())
        return std::nullopt;
    return options;
}

fs::path UnpackFolderFor(const fs::path& zipPath)
{
    return zipPath.parent_path() / "HalvexUpdate";
}

fs::path InstallFolderFor(const fs::path& curPath)
{
    return WithoutTrailingSeparator(curPath).parent_path();
}

fs::path RelaunchProgramFor(const fs::path& curPath)
{
    return WithoutTrailingSeparator(curPath) / "Contents" / "Linux" / "HalvexDravane";
}

}  // namespace halvex
