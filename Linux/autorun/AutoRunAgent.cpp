#include "AutoRunAgent.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "system/KMDevice.h"
#include "system/KMSystem.h"
#include "system/MountWatcher.h"
#include "system/TrustedDrives.h"
#include "util/DescriptorPath.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

std::string Describe(const DriveIdentity& drive)
{
    return "\"" + drive.label + "\" (vendor " + drive.vendorId + ", product " + drive.productId + ", serial \"" +
           drive.serial + "\", UUID \"" + drive.uuid + "\")";
}

}  // namespace

AutoRunAgent::AutoRunAgent(DeviceSources sources, fs::path trustFile, Question question, Launcher launcher,
                           Logger logger)
    : m_sources(std::move(sources)),
      m_trustFile(std::move(trustFile)),
      m_question(std::move(question)),
      m_launcher(std::move(launcher)),
      m_logger(std::move(logger))
{}

void AutoRunAgent::DeviceDidMount(const MountEntry& mount)
{
    m_logger("Someone inserted " + mount.mountPoint.string());
    const fs::path application = mount.mountPoint / kApplicationName;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(application, error);
    if (!fs::exists(status))
        return;
    m_logger("Auto Run path: " + application.string());
    // A link would be judged by the drive it names and started from this one.
    if (fs::is_symlink(status)) {
        m_logger("Not started from " + mount.mountPoint.string() + ": " + kApplicationName + " is a link");
        return;
    }
    // The drive test of the suite itself: a disk image, a hard disk or a
    // foreign vendor's stick with a copy of the suite on it is not enough.
    const KMDevice device(application, m_sources);
    if (!device.isHalvexDrive())
        return;
    // Nor is the vendor, which any stick can claim: the user must know the drive.
    const DriveIdentity drive = DriveIdentity::Of(device);
    if (!IsTrusted(drive) && !UserAllows(mount, drive))
        return;
    if (!StillTheSameDrive(mount, drive)) {
        m_logger("Not started: " + mount.mountPoint.string() + " no longer holds the drive " + Describe(drive));
        return;
    }
    if (const Status startable = StartsFromTheDrive(mount); !startable) {
        m_logger("Not started from " + mount.mountPoint.string() + ": " + startable.detail);
        return;
    }
    if (const Status launched = m_launcher(application); !launched)
        m_logger("Could not start " + application.string() + " (" + launched.detail + ")");
}

bool AutoRunAgent::IsTrusted(const DriveIdentity& drive) const
{
    TrustedDrives trusted(m_trustFile);
    if (const Status loaded = trusted.Load(); !loaded)
        m_logger("The list of trusted drives " + m_trustFile.string() + " cannot be used (" + loaded.detail +
                 "); no drive counts as trusted");
    return trusted.IsTrusted(drive);
}

bool AutoRunAgent::UserAllows(const MountEntry& mount, const DriveIdentity& drive) const
{
    const Result<DriveAnswer> answer =
        m_question ? m_question(drive) : Result<DriveAnswer>::Fail(kNoQuestionKey, "nobody could be asked");
    if (!answer) {
        m_logger("Not started from " + mount.mountPoint.string() + ": the drive " + Describe(drive) +
                 " is not trusted and " + answer.detail());
        return false;
    }
    switch (answer.value()) {
    case DriveAnswer::Start: return true;
    case DriveAnswer::Always:
        if (const Status trusted = TrustedDrives(m_trustFile).Trust(drive); !trusted)
            m_logger("The drive " + Describe(drive) + " could not be added to the trusted drives (" +
                     trusted.messageKey + ": " + trusted.detail + ")");
        return true;
    case DriveAnswer::NotNow: break;
    }
    m_logger("Not started from " + mount.mountPoint.string() + ": the user declined the drive " + Describe(drive));
    return false;
}

bool AutoRunAgent::StillTheSameDrive(const MountEntry& mount, const DriveIdentity& drive) const
{
    const Result<std::vector<MountEntry>> entries = ReadMountInfo(m_sources.mountInfo);
    if (!entries)
        return false;
    const MountEntry* now = FindMountFor(entries.value(), mount.mountPoint);
    if (now == nullptr || now->mountPoint != mount.mountPoint || now->majorMinor != mount.majorMinor ||
        now->source != mount.source)
        return false;
    const KMDevice device(mount.mountPoint / kApplicationName, m_sources);
    return device.isHalvexDrive() && DriveIdentity::Of(device).SameDrive(drive);
}

Status AutoRunAgent::StartsFromTheDrive(const MountEntry& mount) const
{
    const FileDescriptor top(::open(mount.mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat topInfo {};
    if (!top.IsOpen() || ::fstat(top.Get(), &topInfo) != 0)
        return Status::FailErrno(kNotStartableKey, mount.mountPoint, errno);
    const std::string application = kApplicationName;
    const std::string launcher = kLauncherName;
    const std::string program = application + "/" + kProgramInBundle;
    struct stat launcherInfo {};
    const bool hasLauncher = ::fstatat(top.Get(), launcher.c_str(), &launcherInfo, AT_SYMLINK_NOFOLLOW) == 0;
    // The bundle, and what LaunchApplication starts.
    for (const std::string& relative : {application, hasLauncher ? launcher : program}) {
        const Result<EntryBelow> at =
            OpenEntryBelow(top.Get(), relative, MissingFolders::Fail, mount.mountPoint, kNotStartableKey);
        if (!at)
            return at.status();
        struct stat info {};
        if (::fstatat(at.value().folder.Get(), at.value().name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return Status::FailErrno(kNotStartableKey, mount.mountPoint / relative, errno);
        if (S_ISLNK(info.st_mode))
            return Status::Fail(kNotStartableKey, (mount.mountPoint / relative).string() + " is a link");
        // Another file system mounted inside the drive is no part of it.
        if (info.st_dev != topInfo.st_dev)
            return Status::Fail(kNotStartableKey, (mount.mountPoint / relative).string() + " lies on another mount");
    }
    const Result<std::vector<MountEntry>> entries = ReadMountInfo(m_sources.mountInfo);
    if (!entries)
        return entries.status();
    const fs::path started = mount.mountPoint / (hasLauncher ? launcher : program);
    const MountEntry* holder = FindMountFor(entries.value(), started);
    if (holder == nullptr || holder->mountPoint != mount.mountPoint || holder->majorMinor != mount.majorMinor)
        return Status::Fail(kNotStartableKey, started.string() + " lies on another mount");
    return Status::Ok();
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
        for (const MountEntry& mount : watcher.TakeNewMounts()) {
            // A question may have waited long; a stop asked for meanwhile comes first.
            pollfd stop{stopDescriptor, POLLIN, 0};
            if (::poll(&stop, 1, 0) > 0)
                return;
            DeviceDidMount(mount);
        }
    }
}

Status AutoRunAgent::LaunchApplication(const fs::path& application)
{
    // A drive laid out for Linux may not run its programs (FAT's showexec,
    // noexec): its launcher, read by the shell, starts the suite instead.
    const fs::path launcher = application.parent_path() / kLauncherName;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(launcher, error);
    if (fs::is_symlink(status))
        return Status::Fail(kNotStartableKey, launcher.string() + " is a link");
    if (fs::is_regular_file(status))
        return KMSystem::StartProgram("/bin/sh", {launcher.string()}).status();
    return KMSystem::StartProgram(application / kProgramInBundle, {}).status();
}

}  // namespace halvex
