#include "AutoRunAgent.h"

#include <poll.h>

#include <cerrno>
#include <system_error>

#include "KMDevice.h"
#include "KMSystem.h"
#include "MountWatcher.h"

namespace fs = std::filesystem;

namespace halvex {

AutoRunAgent::AutoRunAgent(DeviceSources sources, Launcher launcher, Logger logger)
    : m_sources(std::move(sources)), m_launcher(std::move(launcher)), m_logger(std::move(logger))
{
}

void AutoRunAgent::DeviceDidMount(const fs::path& mountPoint)
{
    m_logger("Someone inserted " + mountPoint.string());
    const fs::path application = mountPoint / kApplicationName;
    std::error_code error;
    if (!fs::exists(application, error))
        return;
    m_logger("Auto Run path: " + application.string());
    // The drive test of the suite itself: a disk image, a hard disk or a
    // foreign vendor's stick with a copy of the suite on it is not enough.
    const KMDevice device(application, m_sources);
    if (!device.isHalvexDrive())
        return;
    if (!m_launcher(application))
        m_logger("Could not start " + application.string());
}

void AutoRunAgent::Run(MountWatcher& watcher, int stopDescriptor, std::chrono::milliseconds period)
{
    pollfd descriptors[2] = {
        {watcher.EventDescriptor(), POLLPRI, 0},
        {stopDescriptor, POLLIN, 0},
    };
    for (;;) {
        const int ready = ::poll(descriptors, 2, static_cast<int>(period.count()));
        if (ready < 0 && errno != EINTR)
            return;
        if (descriptors[1].revents != 0)
            return;
        for (const MountEntry& mount : watcher.TakeNewMounts())
            DeviceDidMount(mount.mountPoint);
    }
}

bool AutoRunAgent::LaunchApplication(const fs::path& application)
{
    // A drive laid out for Linux may not run its programs (FAT's showexec,
    // noexec): its launcher, read by the shell, starts the suite instead.
    const fs::path launcher = application.parent_path() / kLauncherName;
    std::error_code error;
    if (fs::is_regular_file(launcher, error))
        return KMSystem::StartProgram("/bin/sh", {launcher.string()});
    return KMSystem::StartProgram(application / "Contents" / "Linux" / "HalvexDravane", {});
}

}  // namespace halvex
