#include "paths/RunPath.h"

#include "paths/KXAppPaths.h"

namespace halvex {

namespace fs = std::filesystem;

std::optional<std::string> CommandLineParameter(const std::vector<std::string>& parameters, std::size_t n)
{
    if (n == 0 || parameters.size() < n)
        return std::nullopt;
    std::string parameter = parameters[n - 1];
    if (!parameter.empty() && parameter.back() == '"')
        parameter.pop_back();
    return parameter;
}

std::optional<fs::path> RunPathFromArgument(std::string_view argument)
{
    if (!argument.empty() && argument.back() == '"')
        argument.remove_suffix(1);
    // A path with a NUL in it would name another folder than it shows.
    if (argument.find('\0') != std::string_view::npos)
        return std::nullopt;
    while (argument.size() > 1 && argument.back() == '/')
        argument.remove_suffix(1);
    if (argument.empty())
        return std::nullopt;
    fs::path path{std::string(argument)};
    if (path.is_relative()) {
        std::error_code error;
        path = fs::absolute(path, error);
        if (error)
            return std::nullopt;
    }
    return path;
}

std::optional<fs::path> RunPathFromExecutable(const fs::path& executable)
{
    std::error_code error;
    fs::path program = executable;
    if (fs::is_symlink(fs::symlink_status(executable, error))) {
        program = fs::read_symlink(executable, error);
        if (error)
            return std::nullopt;
    }
    if (program.is_relative())
        return std::nullopt;
    const fs::path programFolder = program.parent_path();
    const fs::path contents = programFolder.parent_path();
    const fs::path bundle = contents.parent_path();
    if (programFolder.filename() != "Linux" || contents.filename() != "Contents")
        return std::nullopt;
    const fs::path bundleName = bundle.filename();
    if (bundleName != KXAppPaths::kBundleName && bundleName != KXAppPaths::kBundleNameWithoutApp)
        return std::nullopt;
    const fs::path runPath = bundle.parent_path();
    if (runPath.empty() || runPath == bundle)
        return std::nullopt;
    return runPath;
}

}  // namespace halvex
