#include "config/DriveConfiguration.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "paths/KXAppPaths.h"
#include "plist/DXPlistPrefs.h"
#include "update/PackageSignature.h"
#include "update/UpdateService.h"
#include "util/BoundedRead.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

// The base address is pasted in front of the script's and the packages'
// names and handed to curl: nothing that could change its meaning there.
bool UsableBaseAddress(std::string_view address)
{
    if (address.size() > 1024 || !CheckUpdateBaseAddress(address))
        return false;
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte >= 0x7f || c == '?' || c == '#' || c == '\\';
    });
}

}  // namespace

std::string UsbIdText(std::string_view text)
{
    if (text.size() != 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return {};
    std::string id(text);
    std::transform(id.begin(), id.end(), id.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return id;
}

DriveConfiguration DriveConfiguration::FromText(std::string_view text)
{
    DriveConfiguration configuration;
    DXPlistPrefs plist;
    if (text.size() > kMaxFileBytes || !plist.LoadText(text))
        return configuration;
    std::string base;
    if (plist.GetValue(kUpdateBaseUrlKey, base, "") && UsableBaseAddress(base))
        configuration.updateBaseUrl = base;
    const std::size_t count = std::min(plist.GetArrayCount(kAcceptedVendorIdsKey), kMaxVendorIds);
    for (std::size_t i = 0; i < count; ++i) {
        std::string entry;
        if (!plist.GetArrayValue(kAcceptedVendorIdsKey, i, entry, ""))
            continue;
        const std::string id = UsbIdText(entry);
        auto& ids = configuration.acceptedVendorIds;
        if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    const std::size_t keyCount = std::min(plist.GetArrayCount(kUpdatePublicKeysKey), kMaxUpdateKeys);
    for (std::size_t i = 0; i < keyCount; ++i) {
        std::string key;
        auto& keys = configuration.updatePublicKeys;
        if (plist.GetArrayValue(kUpdatePublicKeysKey, i, key, "") && UsableUpdateKey(key) &&
            std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(key);
    }
    return configuration;
}

DriveConfiguration DriveConfiguration::Load(const fs::path& resourcesFolder)
{
    const Result<std::string> text = ReadBoundedFile(resourcesFolder / kFileName, kMaxFileBytes);
    if (!text)
        return {};
    return FromText(text.value());
}

fs::path DriveResourcesFor(const fs::path& path)
{
    const std::string name = path.filename().string();
    if (name == KXAppPaths::kBundleName || name == KXAppPaths::kBundleNameWithoutApp)
        return path / "Contents" / "Resources";
    std::error_code error;
    const fs::path bundle = path / KXAppPaths::kBundleName;
    if (fs::is_directory(bundle, error))
        return bundle / "Contents" / "Resources";
    return path / KXAppPaths::kBundleNameWithoutApp / "Contents" / "Resources";
}

}  // namespace halvex
