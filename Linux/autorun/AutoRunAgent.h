#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "DeviceSources.h"

namespace halvex {

class MountWatcher;

// The agent's one job: when a volume is mounted that carries the suite at its
// top and lies on a USB drive of an accepted vendor, start the suite from it.
class AutoRunAgent {
public:
    // Starts the application folder's program; false when it could not.
    using Launcher = std::function<bool(const std::filesystem::path& application)>;
    using Logger = std::function<void(const std::string& line)>;

    static constexpr const char* kApplicationName = "HalvexDravane.app";
    // The launcher at a drive's top that starts the suite from a no-exec drive.
    static constexpr const char* kLauncherName = "HalvexDravane.sh";

    AutoRunAgent(DeviceSources sources, Launcher launcher, Logger logger);

    // One newly appeared mount point.
    void DeviceDidMount(const std::filesystem::path& mountPoint);

    // Handles new mounts until stopDescriptor becomes readable (the signal
    // descriptor of SIGTERM and SIGINT). Looks at the table on each kernel
    // event and at least once per period.
    void Run(MountWatcher& watcher, int stopDescriptor, std::chrono::milliseconds period);

    // The default launcher: "Contents/Linux/HalvexDravane" of the
    // application folder, started detached with no arguments.
    static bool LaunchApplication(const std::filesystem::path& application);

private:
    DeviceSources m_sources;
    Launcher m_launcher;
    Logger m_logger;
};

}  // namespace halvex
