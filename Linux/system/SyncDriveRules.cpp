#include "system/SyncDriveRules.h"

#include <fstream>
#include <optional>
#include <string>

#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "system/KMDevice.h"
#include "util/IgnoreResult.h"
#include "sync/SyncRunner.h"

namespace halvex {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return line;
}

bool OnRemovableMedia(const fs::path& folder)
{
    const DeviceSources sources = DeviceSources::FromEnvironment();
    const KMDevice device(folder, sources);
    if (device.runFromDevice())
        return true;
    const std::string& disk = device.bsdName();
    if (disk.empty())
        return false;  // network and memory file systems are not removable media
    if (disk.rfind("sr", 0) == 0)
        return true;
    const auto removable = ReadFirstLine(sources.sysfsRoot / "class" / "block" / disk / "removable");
    return removable && *removable == "1";
}

}  // namespace

SyncDriveProbe MakeSyncDriveProbe(const KMDevice& suiteDrive)
{
    SyncDriveProbe probe;
    probe.isRemovable = OnRemovableMedia;
    probe.driveFreeBytes = [&suiteDrive]() -> std::optional<std::uint64_t> {
        const halvex::Result<KMDevice::Space> space = suiteDrive.getSizeForTotal();
        if (!space)
            return std::nullopt;
        return space.value().free;
    };
    const DriveIdentity drive = DriveIdentity::Of(suiteDrive);
    probe.chosenHere = [drive](const fs::path& folder) {
        return ConfirmedFolders().Has(ConfirmedFolders::Use::Sync, drive, {}, folder);
    };
    probe.recordChoice = [drive](const fs::path& folder) {
        IgnoreResult(ConfirmedFolders().Record(ConfirmedFolders::Use::Sync, drive, {}, folder),
                     "a choice not recorded here is only asked about again");
    };
    return probe;
}

fs::path SyncMountPathOf(const fs::path& destination)
{
    fs::path existing = destination.parent_path();
    std::error_code ec;
    while (existing.has_relative_path() && !fs::exists(existing, ec))
        existing = existing.parent_path();
    const KMDevice device(existing, DeviceSources::FromEnvironment());
    return device.mountPath().empty() ? MountPointOf(destination) : device.mountPath();
}

}  // namespace halvex
