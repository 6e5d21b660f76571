// The mount table reader with the lookups made on it.
#include "FuzzSupport.h"
#include "system/MountInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = halvex::fuzz::AsText(data, size);
    const auto entries = halvex::ParseMountInfo(text);
    halvex::fuzz::Check(entries.size() <= halvex::kMountInfoMaxEntries, "too many entries");
    for (const auto& entry : entries)
        halvex::fuzz::Check(entry.mountPoint.is_absolute(), "relative mount point");
    for (const char* path : {"/", "/media/user/STICK/Halvex Data", "/media/user/MY STICK", "/proc/self"}) {
        if (const halvex::MountEntry* mount = halvex::FindMountFor(entries, path))
            (void)halvex::IsNetworkFileSystem(mount->fsType);
    }
    const std::string decoded = halvex::DecodeMountField(text.substr(0, 4096));
    halvex::fuzz::Check(decoded.size() <= std::min<std::size_t>(text.size(), 4096), "decoded field grew");
    return 0;
}
