#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

// The folders and files of the suite, all derived from the run path: the
// folder on the drive that holds the bundle. The application object owns one
// for the whole run; every tool reaches the drive through it.
//
//   <run path>/HalvexDravane.app/Contents/Linux/<program>
//   <run path>/HalvexDravane.app/Contents/Resources/
//   <run path>/Halvex Data/com.halvex.dravane.plist
//   <private temp folder>/HalvexFileSync.log
class KXAppPaths {
public:
    static constexpr std::string_view kBundleName = "HalvexDravane.app";
    static constexpr std::string_view kBundleNameWithoutApp = "HalvexDravane";
    static constexpr std::string_view kDataFolderName = "Halvex Data";
    static constexpr std::string_view kAppPrefsFileName = "com.halvex.dravane.plist";
    static constexpr std::string_view kSyncLogFileName = "HalvexFileSync.log";

    // Computes every path from the run path; touches nothing on disk except
    // the private temporary folder (see halvex::PrivateTempFolder), whose
    // failure leaves SyncLogPath() and TempFolder() empty.
    explicit KXAppPaths(std::filesystem::path runPath);

    // Start-up: the run path is parameter 1 when given (see
    // halvex::RunPathFromArgument), otherwise derived from the executable's
    // place in the bundle (see halvex::RunPathFromExecutable). Creates the
    // data folder (one level) when missing; a failure there is not reported,
    // later writes of settings files fail instead. No result when there is
    // no usable run path: start-up then ends quietly.
    // `parameters` excludes the program name (argv[1]...).
    static std::optional<KXAppPaths> FromCommandLine(const std::vector<std::string>& parameters,
                                                     const std::filesystem::path& executable = "/proc/self/exe");
    static std::optional<KXAppPaths> FromMain(int argc, const char* const* argv);

    const std::filesystem::path& RunPath() const { return m_pathRun; }
    // "HalvexDravane.app" when that folder exists in the run path, else
    // "HalvexDravane". Looked up on each call.
    std::string BundleFolderName() const;
    std::filesystem::path BundlePath() const;
    // <bundle>/Contents/Resources
    std::filesystem::path ResourcesPath() const;
    // <bundle>/Contents/Linux: the suite's programs.
    std::filesystem::path ProgramPath() const;
    const std::filesystem::path& DataPath() const { return m_pathData; }
    const std::filesystem::path& AppPrefsPath() const { return m_pathAppPrefs; }
    // Empty when no private temporary folder could be had.
    const std::filesystem::path& SyncLogPath() const { return m_pathSyncLog; }
    const std::filesystem::path& TempFolder() const { return m_pathTemp; }
    // Why TempFolder() is empty, when it is.
    const halvex::Status& TempFolderStatus() const { return m_statusTemp; }

    // Creates the data folder when it is missing (one level only: a run
    // path that vanished must not be recreated). Fails with
    // "err_data_folder_create" and the system's reason when it does not exist
    // after.
    [[nodiscard]] halvex::Status CreateDataFolder() const;
    // Removes the sync log left by an earlier run (start-up and exit).
    // True when no log remains.
    bool DeleteSyncLog() const;

private:
    std::filesystem::path m_pathRun;
    std::filesystem::path m_pathData;
    std::filesystem::path m_pathAppPrefs;
    std::filesystem::path m_pathTemp;
    std::filesystem::path m_pathSyncLog;
    halvex::Status m_statusTemp;
};
