#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

namespace halvex {

// A package is installed only when the publisher signed, with an Ed25519 key
// the drive lists, the text
//
//   halvex-update <identifier> <version> <sha256>
//
// (ASCII, single spaces, no line end, the digest as 64 lower-case hex
// digits): the digest alone proves nothing, since it comes in the same reply
// as the package's address, and naming the identifier and the version keeps
// an old signed package from being offered as a new one.
std::string SignedUpdateText(std::string_view id, std::string_view version, std::string_view sha256);

// Keys and signatures travel as standard base64 with padding. Nothing when
// the text is not exactly that.
std::optional<std::vector<unsigned char>> DecodeBase64(std::string_view text);

inline constexpr std::size_t kUpdateKeyBytes = 32;
inline constexpr std::size_t kUpdateSignatureBytes = 64;
// More keys than this on a drive is a mistake, not a key rotation.
inline constexpr std::size_t kMaxUpdateKeys = 16;

// True when `text` is the base64 of a 32-byte Ed25519 public key.
bool UsableUpdateKey(std::string_view text);

// True when `offered` is a version (1 to 4 numbers of 1 to 9 digits joined by
// dots) greater than `current`, a missing number counting as 0.
bool IsNewerVersion(std::string_view offered, std::string_view current);

struct PackageCheck {
    std::filesystem::path package;
    std::string id;                        // the suite's identifier
    std::string version;                   // the offered version, which the signature must name
    std::string driveVersion;              // the drive's own version: the offer must be newer
    std::string signature;                 // base64, as the offer carried it
    std::vector<std::string> trustedKeys;  // base64, as the drive lists them
};

// Ok only when the package file's own digest, the identifier and the version
// are signed by one of the trusted keys and the version is newer than the
// drive's. Refusals: kUpdateNotSetUpKey (no key listed), kUpdateNotNewerKey,
// kUpdateRefusedKey (no signature, a key the drive does not list, a
// signature over anything else); the detail says which. An unreadable
// package fails with "download_err".
[[nodiscard]] Status CheckPackage(const PackageCheck& check);

// The check of `package` for the drive whose bundle is `bundlePath`: the
// suite's identifier, the keys the drive's own configuration lists and the
// version its programs carry. Nothing of it comes from the temporary folder.
PackageCheck DrivePackageCheck(const std::filesystem::path& bundlePath, const std::filesystem::path& package,
                               std::string_view version, std::string_view signature);

}  // namespace halvex
