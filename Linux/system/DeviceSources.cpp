#include "system/DeviceSources.h"

#include <cstdlib>
#include <cstring>

namespace halvex {

namespace {

void Override(std::filesystem::path& target, const char* variable)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0')
        target = value;
}

}  // namespace

bool AssumeUsbRequested()
{
    const char* value = std::getenv("HALVEX_ASSUME_USB");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

DeviceSources DeviceSources::FromEnvironment(const std::filesystem::path& runPath)
{
    DeviceSources sources;
    Override(sources.sysfsRoot, "HALVEX_SYSFS_ROOT");
    Override(sources.mountInfo, "HALVEX_MOUNTINFO");
    Override(sources.diskByLabel, "HALVEX_DISK_BY_LABEL");
    Override(sources.diskByUuid, "HALVEX_DISK_BY_UUID");
    if (AssumeUsbRequested() && !runPath.empty())
        sources.assumedDriveRoot = runPath;
    return sources;
}

}  // namespace halvex
