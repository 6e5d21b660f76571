#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "system/DeviceSources.h"
#include "DriveAnswer.h"
#include "system/DriveIdentity.h"
#include "system/MountInfo.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

class MountWatcher;

// The agent's one job: when a volume is mounted that carries the suite at its
// top and lies on a USB drive of an accepted vendor, start the suite from it,
// but only from a drive this user trusts (TrustedDrives) or, for another
// drive, once the user says so when asked.
class AutoRunAgent {
public:
    // Starts the application folder's program; the failure says why not.
    using Launcher = std::function<Status(const std::filesystem::path& application)>;
    using Logger = std::function<void(const std::string& line)>;
    // Asks whether to start the suite from a drive that is not trusted; a
    // failure says why nobody could be asked.
    using Question = std::function<Result<DriveAnswer>(const DriveIdentity& drive)>;

    static constexpr const char* kApplicationName = "HalvexDravane.app";
    // The launcher at a drive's top that starts the suite from a no-exec drive.
    static constexpr const char* kLauncherName = "HalvexDravane.sh";
    // The suite's program, started when the drive carries no launcher.
    static constexpr const char* kProgramInBundle = "Contents/Linux/HalvexDravane";
    // What is to be started is not plainly on the drive that was checked.
    static constexpr const char* kNotStartableKey = "autorun_not_startable";

    AutoRunAgent(DeviceSources sources, std::filesystem::path trustFile, Question question, Launcher launcher,
                 Logger logger);

    // One newly appeared mount.
    void DeviceDidMount(const MountEntry& mount);

    // Handles new mounts until stopDescriptor becomes readable (the signal
    // descriptor of SIGTERM and SIGINT). Looks at the table on each kernel
    // event and at least once per period.
    void Run(MountWatcher& watcher, int stopDescriptor, std::chrono::milliseconds period);

    // The default launcher: the drive's launcher read by /bin/sh, else
    // "Contents/Linux/HalvexDravane" of the application folder, started
    // detached with no arguments. A launcher that is a link is not started.
    static Status LaunchApplication(const std::filesystem::path& application);

private:
    bool IsTrusted(const DriveIdentity& drive) const;
    bool UserAllows(const MountEntry& mount, const DriveIdentity& drive) const;
    // The mount point still holds the mount and the drive decided on: a drive
    // swapped in while the user was asked is not started.
    bool StillTheSameDrive(const MountEntry& mount, const DriveIdentity& drive) const;
    // What the launch starts (the drive's launcher, else the program in its
    // bundle) lies on the mount that was checked, reached from its top with
    // no link on the way; read just before the start.
    Status StartsFromTheDrive(const MountEntry& mount) const;

    DeviceSources m_sources;
    std::filesystem::path m_trustFile;
    Question m_question;
    Launcher m_launcher;
    Logger m_logger;
};

}  // namespace halvex
