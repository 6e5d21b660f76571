#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>

#include "util/Status.h"

// Installs, registers, starts, stops and removes the auto-run agent
// PelloryAutoRun for the current user:
//
//   <applications folder>/Halvex/PelloryAutoRun.app/Contents/Info.plist
//   <applications folder>/Halvex/PelloryAutoRun.app/Contents/Linux/PelloryAutoRun
//
// unpacked from the suite's resource "PelloryAutoRun.zip" and started at
// log-in by an XDG autostart entry for that program. Called on the main thread.
class KMAutoRun {
public:
    KMAutoRun() = delete;

    static constexpr std::string_view kInstallFolderName = "Halvex";
    static constexpr std::string_view kAgentBundleName = "PelloryAutoRun.app";
    static constexpr std::string_view kAgentProgramName = "PelloryAutoRun";
    static constexpr std::string_view kPackageName = "PelloryAutoRun.zip";
    static constexpr std::string_view kVersionKey = "KMAppVersion";
    // Older agents are replaced.
    static constexpr std::array<int, 4> kOldestAcceptedVersion = {1, 0, 0, 1};
    static constexpr std::chrono::seconds kStopLimit{10};

    static std::filesystem::path InstallFolder();
    static std::filesystem::path InstalledAgent();
    static std::filesystem::path InstalledProgram();
    // The package in the suite's resources folder.
    static std::filesystem::path PackageIn(const std::filesystem::path& resourcesPath);

    // The installed agent's "KMAppVersion"; nothing when it has none.
    static std::optional<std::array<int, 4>> InstalledVersion();
    // "1.2.3.4" as four numbers; fewer numbers count as 0 for the missing
    // ones. Nothing for text that is not dot-separated numbers.
    static std::optional<std::array<int, 4>> ParseVersion(std::string_view text);
    // The numbers compared in order; the first that differs decides.
    static bool IsOlderThanAccepted(const std::array<int, 4>& version);

    // The agent is missing (its program or its Info.plist), has no readable
    // version, or is older than 1.0.0.1.
    static bool NeedToInstall();
    // The agent could not be installed, or removed; the detail is the
    // reason of the step that failed.
    static constexpr const char* kInstallErrorKey = "err_autorun_install";
    static constexpr const char* kUninstallErrorKey = "err_autorun_uninstall";

    // Starts the application folder's program (Contents/Linux/<name>), or a
    // program given directly; with no path the installed agent. Fails with
    // halvex::kProgramStartErrorKey when it is not there or does not start.
    [[nodiscard]] static halvex::Status Start(const std::filesystem::path& path = {});
    // A login item exists for the installed agent's program.
    static bool IsEnabled();
    // A process runs the installed agent's program.
    static bool IsRunning();
    // Asks a running agent to quit; halvex::kProgramQuitErrorKey when it
    // still runs after `limit`.
    [[nodiscard]] static halvex::Status Stop(std::chrono::milliseconds limit = kStopLimit);
    // Stops, installs when needed, registers and starts the agent. Fails
    // with kInstallErrorKey when the agent would not stop, or the old one
    // could not be deleted, or the package could not be unpacked, or it
    // could not be started.
    [[nodiscard]] static halvex::Status Enable(const std::filesystem::path& package,
                                               std::chrono::milliseconds stopLimit = kStopLimit);
    // Stops, deletes and unregisters the agent; stops at the first failure,
    // with kUninstallErrorKey.
    [[nodiscard]] static halvex::Status Disable(std::chrono::milliseconds stopLimit = kStopLimit);

    // What start-up does about the agent, once the licence is accepted: for
    // an administrator, an enabled agent that is outdated is installed again
    // (Enable), one that is not running is started; without an enabled agent
    // the user is asked when "AskAutoRun" is true.
    enum class StartupAction { Nothing, StartAgent, Reinstall, Ask };
    static StartupAction DecideAtStartup(bool isAdministrator, bool isEnabled, bool isOutdated, bool isRunning,
                                         bool askAutoRun);
    // The same from the current state and preferences.
    static StartupAction DecideAtStartup();
};
