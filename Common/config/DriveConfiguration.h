#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvex {

// What an organisation that hands out drives sets on them without a
// rebuild: a property list in the drive's Resources folder,
//
//   <key>UpdateBaseURL</key>      <string>https://updates.example.org/dravane/</string>
//   <key>AcceptedVendorIDs</key>  <array><string>090C</string> ...</array>
//   <key>UpdatePublicKeys</key>   <array><string>base64 of an Ed25519 key</string> ...</array>
//
// The file comes with the drive and is read as hostile: a value that is
// missing, of another type or not usable counts as not set, and the
// program's built-in default stands.
struct DriveConfiguration {
    static constexpr std::string_view kFileName = "Configuration.plist";
    static constexpr std::string_view kUpdateBaseUrlKey = "UpdateBaseURL";
    static constexpr std::string_view kAcceptedVendorIdsKey = "AcceptedVendorIDs";
    static constexpr std::string_view kUpdatePublicKeysKey = "UpdatePublicKeys";
    // A configuration is a few hundred bytes.
    static constexpr std::size_t kMaxFileBytes = std::size_t{64} * 1024;
    static constexpr std::size_t kMaxVendorIds = 64;

    // An http or https address ending in "/"; empty when not set.
    std::string updateBaseUrl;
    // Four upper-case hexadecimal characters each, in the file's order,
    // without repeats; empty when not set.
    std::vector<std::string> acceptedVendorIds;
    // The keys whose signature an update package must carry: base64 of 32
    // bytes each, in the file's order, without repeats; empty when none is
    // listed, and the drive then takes no update.
    std::vector<std::string> updatePublicKeys;

    // Reads <resources>/Configuration.plist; a missing or unreadable file
    // sets nothing.
    static DriveConfiguration Load(const std::filesystem::path& resourcesFolder);
    static DriveConfiguration FromText(std::string_view text);
};

// The Resources folder of the bundle `path` names or holds: the run path
// (the folder holding HalvexDravane.app) or the bundle itself.
std::filesystem::path DriveResourcesFor(const std::filesystem::path& path);

// A USB vendor or product id: "090c" gives "090C"; empty when the text is
// not four hexadecimal characters.
std::string UsbIdText(std::string_view text);

}  // namespace halvex
