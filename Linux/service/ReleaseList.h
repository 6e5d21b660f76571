#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::service {

// The releases the update service offers, one line each in "releases.list"
// of its root folder, as scripts/publish-update.sh writes them:
//
//   <identifier> <version> <package path> <sha256> [<signature>]
//   01 1.0.1 packages/HalvexDravane-1.0.1.zip 3f7a... q8Rk...==
//
// The signature is the publisher's, in base64; the service passes it on
// and the drives check it, so a list without one offers packages no drive
// installs.
//
// Blank lines and lines starting with "#" are passed over. The package path
// is relative to the root, which is also the base address the suites ask.
struct Release {
    std::string id;
    std::string version;
    std::string url;
    std::string sha256;
    std::string signature;  // base64; empty when the line has none
};

inline constexpr std::string_view kReleaseListName = "releases.list";
// A release list of this size holds thousands of releases.
inline constexpr std::size_t kMaxReleaseListBytes = std::size_t{1024} * 1024;

struct ReleaseList {
    std::vector<Release> releases;
    std::size_t refusedLines = 0;  // malformed lines, passed over
};

// Reads a release list's text; a malformed line is counted and passed over,
// so one bad line does not stop every offer.
ReleaseList ParseReleaseList(std::string_view text);

// 1 to 16 letters or digits.
bool UsableId(std::string_view id);
// 1 to 4 numbers of 1 to 9 digits, joined by single dots.
bool UsableVersion(std::string_view version);
// A relative path of letters, digits, ".", "_", "-" and "/" of at most 200
// characters whose parts are neither empty nor begin with ".".
bool UsablePackagePath(std::string_view path);
// 64 hexadecimal digits.
bool UsableDigest(std::string_view digest);
// Standard base64 with padding, of at most 128 characters.
bool UsableSignature(std::string_view signature);

// Compares two usable versions number by number, a missing number counting
// as 0: negative, 0 or positive.
int CompareVersions(std::string_view a, std::string_view b);

// The newest release for the identifier; null when it has none.
const Release* NewestRelease(const ReleaseList& list, std::string_view id);

}  // namespace halvex::service
