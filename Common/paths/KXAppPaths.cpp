#include "paths/KXAppPaths.h"

#include <sys/stat.h>

#include <cerrno>

#include "paths/PrivateTempFolder.h"
#include "paths/RunPath.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;

KXAppPaths::KXAppPaths(fs::path runPath)
    : m_pathRun(std::move(runPath)),
      m_pathData(m_pathRun / kDataFolderName),
      m_pathAppPrefs(m_pathData / kAppPrefsFileName)
{
    const auto temp = halvex::PrivateTempFolder();
    m_statusTemp = temp.status();
    if (temp) {
        m_pathTemp = temp.value();
        m_pathSyncLog = m_pathTemp / kSyncLogFileName;
    }
}

std::optional<KXAppPaths> KXAppPaths::FromCommandLine(const std::vector<std::string>& parameters,
                                                      const fs::path& executable)
{
    std::optional<fs::path> runPath;
    if (const auto argument = halvex::CommandLineParameter(parameters, 1); argument && !argument->empty())
        runPath = halvex::RunPathFromArgument(*argument);
    else
        runPath = halvex::RunPathFromExecutable(executable);
    if (!runPath)
        return std::nullopt;
    KXAppPaths paths(std::move(*runPath));
    halvex::IgnoreResult(paths.CreateDataFolder(),
                         "a read-only drive still runs; what needs the folder reports its own failure");
    return paths;
}

std::optional<KXAppPaths> KXAppPaths::FromMain(int argc, const char* const* argv)
{
    std::vector<std::string> parameters;
    for (int i = 1; i < argc; ++i)
        parameters.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return FromCommandLine(parameters);
}

std::string KXAppPaths::BundleFolderName() const
{
    std::error_code error;
    if (fs::is_directory(m_pathRun / kBundleName, error))
        return std::string(kBundleName);
    return std::string(kBundleNameWithoutApp);
}

fs::path KXAppPaths::BundlePath() const
{
    return m_pathRun / BundleFolderName();
}

fs::path KXAppPaths::ResourcesPath() const
{
    return BundlePath() / "Contents" / "Resources";
}

fs::path KXAppPaths::ProgramPath() const
{
    return BundlePath() / "Contents" / "Linux";
}

halvex::Status KXAppPaths::CreateDataFolder() const
{
    constexpr const char* kKey = "err_data_folder_create";
    if (::mkdir(m_pathData.c_str(), 0777) == 0)
        return halvex::Status::Ok();
    const int mkdirError = errno;
    if (mkdirError != EEXIST)
        return halvex::Status::FailErrno(kKey, m_pathData, mkdirError);
    std::error_code error;
    if (!fs::is_directory(m_pathData, error))
        return halvex::Status::FailErrno(kKey, m_pathData, error ? error.value() : ENOTDIR);
    return halvex::Status::Ok();
}

bool KXAppPaths::DeleteSyncLog() const
{
    if (m_pathSyncLog.empty())
        return true;
    std::error_code error;
    fs::remove(m_pathSyncLog, error);
    return !error;
}
