#include "update/PackageSignature.h"

#include <gtest/gtest.h>

#include "UpdateTestSupport.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::TempFolder;
using halvex::test::UpdateSigner;
using halvex::test::WriteFile;

TEST(PackageSignature, SignedTextIsFixedByteForByte)
{
    // Publishers sign this with openssl; any change here strands every drive.
    EXPECT_EQ(halvex::SignedUpdateText("01", "1.2.3", std::string(32, 'A') + std::string(32, 'b')),
              "halvex-update 01 1.2.3 " + std::string(32, 'a') + std::string(32, 'b'));
}

TEST(PackageSignature, OnlyCanonicalBase64IsDecoded)
{
    struct Case {
        const char* text;
        const char* bytes;  // nullptr: refused
    } cases[] = {
        {"YWJj", "abc"},    {"YWI=", "ab"},    {"YQ==", "a"},     {"", nullptr},
        {"YWJ", nullptr},   {"Y===", nullptr}, {"YQ=a", nullptr}, {"YW J", nullptr},
        {"YWJ\n", nullptr}, {"YW-_", nullptr}, {"=YWJ", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto decoded = halvex::DecodeBase64(c.text);
        if (c.bytes) {
            ASSERT_TRUE(decoded);
            EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.bytes);
        } else {
            EXPECT_FALSE(decoded);
        }
    }
    EXPECT_TRUE(halvex::UsableUpdateKey(UpdateSigner().PublicKey()));
    EXPECT_FALSE(halvex::UsableUpdateKey("YWJj"));
}

TEST(PackageSignature, OnlyAStrictlyNewerVersionIsTaken)
{
    struct Case {
        const char* offered;
        const char* current;
        bool newer;
    } cases[] = {
        {"1.0.1", "1.0.0", true},   {"1.0.0", "1.0.0", false}, {"0.9.9", "1.0.0", false}, {"1.0", "1.0.0", false},
        {"1.0.0.1", "1.0.0", true}, {"1.10.0", "1.9.0", true}, {"2", "1.9.9", true},      {"1.0.1 ", "1.0.0", false},
        {"1..1", "1.0.0", false},   {"1.0.1", "", false},      {"1.2.3.4.5", "1", false}, {"1234567890", "1", false},
        {"999999999", "1", true},   {"-1", "0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.offered) + " over " + c.current);
        EXPECT_EQ(halvex::IsNewerVersion(c.offered, c.current), c.newer);
    }
}

// Every way a package may be refused, against one signed package.
TEST(PackageSignature, CheckTakesOnlyTheListedKeysSignatureOverThisPackage)
{
    TempFolder temp;
    const fs::path package = temp / "package.zip";
    WriteFile(package, "the package's bytes");
    const UpdateSigner publisher, stranger;
    const std::string good = publisher.SignPackage(package, "1.1.0");

    struct Case {
        const char* name;
        std::vector<std::string> keys;
        std::string version;
        std::string signature;
        const char* key;  // the refusal's message key; empty when taken
    } cases[] = {
        {"signed by the listed key", {publisher.PublicKey()}, "1.1.0", good, ""},
        {"the second key listed", {stranger.PublicKey(), publisher.PublicKey()}, "1.1.0", good, ""},
        {"no key listed", {}, "1.1.0", good, "update_not_set_up"},
        {"no signature", {publisher.PublicKey()}, "1.1.0", "", "update_refused"},
        {"a signature that is no base64", {publisher.PublicKey()}, "1.1.0", "not base64!", "update_refused"},
        {"a signature cut short", {publisher.PublicKey()}, "1.1.0", good.substr(0, 44), "update_refused"},
        {"a key the drive does not list", {stranger.PublicKey()}, "1.1.0", good, "update_refused"},
        {"signed for another version", {publisher.PublicKey()}, "1.2.0", good, "update_refused"},
        {"signed for another identifier",
         {publisher.PublicKey()},
         "1.1.0",
         publisher.SignPackage(package, "1.1.0", "02"),
         "update_refused"},
        {"the drive's own version",
         {publisher.PublicKey()},
         "1.0.0",
         publisher.SignPackage(package, "1.0.0"),
         "update_not_newer"},
        {"an older version",
         {publisher.PublicKey()},
         "0.9.0",
         publisher.SignPackage(package, "0.9.0"),
         "update_not_newer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        halvex::PackageCheck check{package, "01", c.version, "1.0.0", c.signature, c.keys};
        const halvex::Status checked = halvex::CheckPackage(check);
        EXPECT_EQ(checked.messageKey, c.key) << checked.detail;
    }

    // The file itself is hashed: a package changed after signing is refused,
    // and one that is gone fails as unreadable.
    halvex::PackageCheck check{package, "01", "1.1.0", "1.0.0", good, {publisher.PublicKey()}};
    WriteFile(package, "the package's bytes, swapped");
    EXPECT_EQ(halvex::CheckPackage(check).messageKey, "update_refused");
    fs::remove(package);
    EXPECT_EQ(halvex::CheckPackage(check).messageKey, "download_err");
}

TEST(PackageSignature, TheDrivesOwnKeysAndVersionAreUsed)
{
    TempFolder drive;
    const fs::path bundle = drive / "HalvexDravane.app";
    WriteFile(bundle / "Contents/Linux/VERSION", "2.3.4\n");
    const UpdateSigner publisher;
    WriteFile(bundle / "Contents/Resources/Configuration.plist",
              halvex::test::ConfigurationListing({publisher.PublicKey(), "not a key", publisher.PublicKey()}));
    const halvex::PackageCheck check = halvex::DrivePackageCheck(bundle, drive / "p.zip", "2.4.0", "c2ln");
    EXPECT_EQ(check.id, "01");
    EXPECT_EQ(check.driveVersion, "2.3.4");
    EXPECT_EQ(check.trustedKeys, std::vector<std::string>{publisher.PublicKey()});
    EXPECT_EQ(check.version, "2.4.0");
    EXPECT_EQ(check.signature, "c2ln");
}

}  // namespace
