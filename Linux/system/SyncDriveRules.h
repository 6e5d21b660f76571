#pragma once

#include "sync/SyncFolderPair.h"

class KMDevice;

namespace halvex {

// The chooser's drive rules, shared by the windows and dravane sync, from the drive detection: a folder on a USB,
// removable or optical drive is refused, and the size question compares with
// the suite drive's free space. The folders chosen for the drive on this
// computer are this user's own record (ConfirmedFolders). The device must
// outlive the probe.
SyncDriveProbe MakeSyncDriveProbe(const KMDevice& suiteDrive);

// The mount path named in the disk-full message.
std::filesystem::path SyncMountPathOf(const std::filesystem::path& destination);

}  // namespace halvex
