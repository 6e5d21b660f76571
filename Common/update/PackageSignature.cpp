#include "update/PackageSignature.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "config/DriveConfiguration.h"
#include "update/Sha256.h"
#include "update/UpdateMessageKeys.h"
#include "update/UpdateService.h"
#include "util/SuiteVersion.h"

namespace halvex {

namespace {

// 1 to 4 numbers of 1 to 9 digits joined by single dots; empty when not.
std::optional<std::vector<long long>> VersionNumbers(std::string_view text)
{
    std::vector<long long> numbers;
    std::size_t digits = 0;
    long long number = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || numbers.size() == 4)
                return std::nullopt;
            numbers.push_back(number);
            number = 0;
            digits = 0;
        } else if (text[i] < '0' || text[i] > '9' || ++digits > 9) {
            return std::nullopt;
        } else {
            number = number * 10 + (text[i] - '0');
        }
    }
    return numbers;
}

bool VerifyEd25519(const std::vector<unsigned char>& key, const std::vector<unsigned char>& signature,
                   std::string_view text)
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()), &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!publicKey || !context)
        return false;
    // Ed25519 hashes the message itself: no digest is named.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
}

}  // namespace

std::string SignedUpdateText(std::string_view id, std::string_view version, std::string_view sha256)
{
    std::string digest(sha256);
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; });
    return "halvex-update " + std::string(id) + " " + std::string(version) + " " + digest;
}

std::optional<std::vector<unsigned char>> DecodeBase64(std::string_view text)
{
    // EVP_DecodeBlock passes over blanks and counts padding as zero bytes;
    // only the canonical form is taken here, so one key has one spelling.
    if (text.empty() || text.size() % 4 != 0 || text.size() > 4096)
        return std::nullopt;
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    const auto isBase64 = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
    };
    if (!std::all_of(text.begin(), text.end() - static_cast<std::ptrdiff_t>(padding), isBase64))
        return std::nullopt;
    std::vector<unsigned char> bytes(text.size() / 4 * 3);
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0 || static_cast<std::size_t>(length) != bytes.size())
        return std::nullopt;
    bytes.resize(bytes.size() - padding);
    return bytes;
}

bool UsableUpdateKey(std::string_view text)
{
    const auto key = DecodeBase64(text);
    return key && key->size() == kUpdateKeyBytes;
}

bool IsNewerVersion(std::string_view offered, std::string_view current)
{
    std::optional<std::vector<long long>> a = VersionNumbers(offered);
    std::optional<std::vector<long long>> b = VersionNumbers(current);
    if (!a || !b)
        return false;
    a->resize(4, 0);
    b->resize(4, 0);
    return *a > *b;
}

Status CheckPackage(const PackageCheck& check)
{
    if (check.trustedKeys.empty())
        return Status::Fail(kUpdateNotSetUpKey, "the drive lists no update key");
    if (!IsNewerVersion(check.version, check.driveVersion))
        return Status::Fail(kUpdateNotNewerKey,
                            "version \"" + check.version + "\" is not newer than the drive's " + check.driveVersion);
    if (check.signature.empty())
        return Status::Fail(kUpdateRefusedKey, "the package is not signed");
    const auto signature = DecodeBase64(check.signature);
    if (!signature || signature->size() != kUpdateSignatureBytes)
        return Status::Fail(kUpdateRefusedKey, "the package's signature is not an Ed25519 signature");
    // The digest of the file as it is now, not the one the reply named.
    const Result<std::string> digest = FileSha256(check.package);
    if (!digest)
        return digest.status();
    const std::string text = SignedUpdateText(check.id, check.version, digest.value());
    for (const std::string& listed : check.trustedKeys) {
        const auto key = DecodeBase64(listed);
        if (key && key->size() == kUpdateKeyBytes && VerifyEd25519(*key, *signature, text))
            return Status::Ok();
    }
    return Status::Fail(kUpdateRefusedKey, "no key this drive lists signed \"" + text + "\"");
}

PackageCheck DrivePackageCheck(const std::filesystem::path& bundlePath, const std::filesystem::path& package,
                               std::string_view version, std::string_view signature)
{
    PackageCheck check;
    check.package = package;
    check.id = kUpdateProductId;
    check.version = version;
    check.signature = signature;
    check.driveVersion = DriveSuiteVersionForUpdate(bundlePath / "Contents" / "Linux");
    check.trustedKeys = DriveConfiguration::Load(bundlePath / "Contents" / "Resources").updatePublicKeys;
    return check;
}

}  // namespace halvex
