#pragma once

#include <filesystem>

namespace halvex {

// Where drive detection looks. The defaults are the running system's; tests
// and diagnostics point them at a built tree through HALVEX_SYSFS_ROOT,
// HALVEX_MOUNTINFO, HALVEX_DISK_BY_LABEL and HALVEX_DISK_BY_UUID.
struct DeviceSources {
    std::filesystem::path sysfsRoot = "/sys";
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path diskByLabel = "/dev/disk/by-label";
    std::filesystem::path diskByUuid = "/dev/disk/by-uuid";
    // When set, this folder is taken as the top of a USB drive of the suite's
    // own vendor (HALVEX_ASSUME_USB=1 with the run path): the suite can be
    // tried without a drive. Only paths inside it are assumed.
    std::filesystem::path assumedDriveRoot;

    // The defaults with the environment's overrides; runPath becomes the
    // assumed drive root when HALVEX_ASSUME_USB is 1.
    static DeviceSources FromEnvironment(const std::filesystem::path& runPath = {});
};

// True when HALVEX_ASSUME_USB=1 is set.
bool AssumeUsbRequested();

// The one line programs write to standard error, once, when they assume.
inline constexpr const char* kAssumeUsbNotice =
    "HALVEX_ASSUME_USB=1: the run path is taken as a drive of the suite; no USB drive was checked.";

}  // namespace halvex
