// Every way an update must be refused, run as a user runs it: the real
// `dravane check-update --install` against the real service (or a scripted
// server for replies the service never sends), with the drive's whole
// content compared before and after.

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "../update/UpdateTestSupport.h"
#include "ShellCommand.h"
#include "update/KXAutoUpdate.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::LoopbackServer;
using halvex::test::ReadFile;
using halvex::test::ShellQuoted;
using halvex::test::TempFolder;
using halvex::test::Transport;
using halvex::test::UpdateSigner;
using halvex::test::WaitUntil;
using halvex::test::WriteFile;

const fs::path kApp = "HalvexDravane.app";

// Every entry under `top`: its type and mode, and a file's bytes.
std::map<std::string, std::string> Snapshot(const fs::path& top)
{
    std::map<std::string, std::string> content;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        std::string value = std::to_string(info.st_mode);
        if (S_ISREG(info.st_mode))
            value += " " + ReadFile(entry.path());
        content[fs::relative(entry.path(), top).string()] = value;
    }
    return content;
}

// The real service on loopback, its log in a file.
class Service {
public:
    explicit Service(const fs::path& root) : m_log(root.parent_path() / "service.log")
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string rootText = root.string();
        const char* argv[] = {HALVEX_SERVICE_PROGRAM, "--root", rootText.c_str(), "--listen", "127.0.0.1:0", nullptr};
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        const std::string marker = "listening on ";
        if (m_pid > 0 && WaitUntil([&] { return ReadFile(m_log).find('\n') != std::string::npos; })) {
            const std::string first = ReadFile(m_log).substr(0, ReadFile(m_log).find('\n'));
            if (first.starts_with(marker))
                m_base = "http://" + first.substr(marker.size()) + "/";
        }
    }
    ~Service()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& base() const { return m_base; }
    std::string log() const { return ReadFile(m_log); }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    std::string m_base;
};

enum class Offer {
    Service,     // the release list names the package
    Scripted,    // a reply the service would never send
    HttpBase,    // the drive's configuration names the service over http
    Redirect,    // https that redirects to the service over http
    SwappedZip,  // the Updater is given another file than the one signed
};

struct Case {
    const char* name;
    Offer offer;
    std::string offered;  // the version offered
    std::string signedVersion;
    std::string signedId = "01";
    enum Signer { Publisher, Stranger, Nobody } signer = Publisher;
    bool wrongDigestListed = false;
    bool keysOnDrive = true;
    const char* said = "";  // part of what the command prints
    bool installed = false;
};

class SignedUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!KXAutoUpdate::IsConnectionAvailable())
            GTEST_SKIP() << "this computer has no default route";
        ::setenv("no_proxy", "127.0.0.1", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        fs::create_directories(m_work / "releases/packages");
        WriteFile(m_work / "new.txt", "a new resource");
        WriteFile(m_work / "VERSION", "1.1.0\n");
    }

    // A drive at 1.0.0 with the real Updater, whose suite leaves a mark when
    // started again; the drive lists the publisher's key unless told not to.
    fs::path MakeDrive(const fs::path& top, bool keys, const std::string& base = {})
    {
        const fs::path linux = top / kApp / "Contents/Linux";
        const fs::path resources = top / kApp / "Contents/Resources";
        fs::create_directories(linux);
        fs::create_directories(resources);
        fs::copy_file(fs::path(HALVEX_PROGRAM_DIR) / "Updater", linux / "Updater");
        WriteFile(linux / "HalvexDravane",
                  "#!/bin/sh\necho started > \"" + (top / "relaunched.mark").string() + "\"\n");
        fs::permissions(linux / "HalvexDravane", fs::perms(0755));
        WriteFile(linux / "VERSION", "1.0.0\n");
        fs::copy(fs::path(HALVEX_PROGRAM_DIR) / "../Resources/English.lproj", resources / "English.lproj",
                 fs::copy_options::recursive);
        if (keys || !base.empty())
            WriteFile(resources / "Configuration.plist",
                      halvex::test::ConfigurationListing(
                          keys ? std::vector{m_publisher.PublicKey()} : std::vector<std::string>{}, base));
        return top / kApp;
    }

    // The package: a new resource and the version it brings.
    void MakePackage(const fs::path& file)
    {
        ASSERT_TRUE(halvex::test::MakeZip(
            file, {"HalvexDravane.app/Contents/Resources/new.txt=" + (m_work / "new.txt").string(),
                   "HalvexDravane.app/Contents/Linux/VERSION=" + (m_work / "VERSION").string()}));
    }

    std::string SignatureFor(const Case& c, const fs::path& package) const
    {
        if (c.signer == Case::Nobody)
            return {};
        const UpdateSigner& signer = c.signer == Case::Publisher ? m_publisher : m_stranger;
        return signer.SignPackage(package, c.signedVersion, c.signedId);
    }

    halvex::test::ShellOutput Run(const fs::path& drive, const fs::path& run, const std::string& environment,
                                  const std::string& options)
    {
        const std::string program = (fs::path(HALVEX_PROGRAM_DIR) / "dravane").string();
        return halvex::test::RunShell(
            "env -u HALVEX_UPDATE_URL HALVEX_ASSUME_USB=1 LC_ALL=C TMPDIR=" + ShellQuoted(m_work / "tmp") +
            " XDG_RUNTIME_DIR=" + ShellQuoted(run) + " " + environment + " " + ShellQuoted(program) + " --run-path " +
            ShellQuoted(drive) + " check-update " + options + " 2>&1");
    }

    TempFolder m_work;
    UpdateSigner m_publisher, m_stranger;
};

TEST_F(SignedUpdateTest, OnlyANewerPackageSignedForThisDriveIsInstalled)
{
    const Case cases[] = {
        {"no signature", Offer::Service, "1.1.0", "1.1.0", "01", Case::Nobody, false, true, "The update was refused"},
        {"a key the drive does not list", Offer::Service, "1.1.0", "1.1.0", "01", Case::Stranger, false, true,
         "The update was refused"},
        {"an old signed package offered as a new version", Offer::Service, "1.2.0", "1.1.0", "01", Case::Publisher,
         false, true, "The update was refused"},
        {"signed for another identifier", Offer::Service, "1.1.0", "1.1.0", "02", Case::Publisher, false, true,
         "The update was refused"},
        {"the drive's own version", Offer::Scripted, "1.0.0", "1.0.0", "01", Case::Publisher, false, true,
         "is not newer"},
        {"an older version", Offer::Scripted, "0.9.0", "0.9.0", "01", Case::Publisher, false, true, "is not newer"},
        {"a digest that is not the file's", Offer::Service, "1.1.0", "1.1.0", "01", Case::Publisher, true, true,
         "could not be downloaded"},
        {"a file swapped after the download", Offer::SwappedZip, "1.1.0", "1.1.0", "01", Case::Publisher, false, true,
         ""},
        {"a drive that lists no key", Offer::Service, "1.1.0", "1.1.0", "01", Case::Publisher, false, false,
         "Updates are not set up on this drive"},
        {"an http base address", Offer::HttpBase, "1.1.0", "1.1.0", "01", Case::Publisher, false, true, "https only"},
        {"a redirect from https to http", Offer::Redirect, "1.1.0", "1.1.0", "01", Case::Publisher, false, true,
         "No update is available at this time"},
        {"signed by the listed key for this identifier and a newer version", Offer::Service, "1.1.0", "1.1.0", "01",
         Case::Publisher, false, true, "version: 1.1.0", true},
    };
    Service service(m_work / "releases");
    ASSERT_FALSE(service.base().empty()) << service.log();
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh drive, temporary folder and session runtime folder, whose
        // "bus" (a socket or a file) the offer's address names.
        const fs::path top = m_work / ("drive-" + std::to_string(row));
        const fs::path run = m_work / ("run-" + std::to_string(row));
        ++row;
        fs::create_directories(m_work / "tmp");
        fs::create_directory(run);
        fs::permissions(run, fs::perms::owner_all);
        const bool busIsSocket = row % 2 == 0;
        const int bus = busIsSocket ? ::socket(AF_UNIX, SOCK_STREAM, 0) : -1;
        if (busIsSocket) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (run / "bus").c_str());
            ASSERT_EQ(::bind(bus, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        } else {
            WriteFile(run / "bus", "the session's file");
        }
        const fs::path bundle = MakeDrive(top, c.keysOnDrive, c.offer == Offer::HttpBase ? service.base() : "");
        const auto before = Snapshot(top);

        const fs::path package = m_work / "releases/packages/bus";
        MakePackage(package);
        const std::string signature = SignatureFor(c, package);
        const std::string digest = halvex::FileSha256(package).ValueOr({});
        std::string environment = "HALVEX_UPDATE_URL=" + service.base();
        std::optional<LoopbackServer> scripted, plain;
        if (c.offer == Offer::Scripted) {
            WriteFile(m_work / "scripted/check-update.php", "<response><update version=\"" + c.offered +
                                                                "\" url=\"bus\" sha256=\"" + digest +
                                                                "\" signature=\"" + signature + "\"/></response>");
            fs::copy_file(package, m_work / "scripted/bus", fs::copy_options::overwrite_existing);
            scripted.emplace(m_work / "scripted");
            environment = "HALVEX_UPDATE_URL=" + scripted->base();
        } else if (c.offer == Offer::Redirect) {
            fs::create_directories(m_work / "redirect");
            scripted.emplace(m_work / "redirect", "redirect=" + service.base() + "check-update.php?id=01&ver=1.0.0",
                             Transport::Https);
            environment = "HALVEX_UPDATE_URL=" + scripted->base() +
                          " HALVEX_UPDATE_CA_FILE=" + ShellQuoted(scripted->authority());
        } else if (c.offer == Offer::HttpBase) {
            environment.clear();
        }
        ASSERT_TRUE(!scripted || scripted->running());
        WriteFile(m_work / "releases/releases.list", "01 " + c.offered + " packages/bus " +
                                                         (c.wrongDigestListed ? std::string(64, '0') : digest) +
                                                         (signature.empty() ? "" : " " + signature) + "\n");
        const std::size_t requestsBefore = service.log().size();

        const auto result = Run(top, run, environment, c.offer == Offer::SwappedZip ? "--download" : "--install");
        if (c.offer == Offer::SwappedZip) {
            // What was downloaded and checked is replaced before the Updater
            // runs: it must check the file it is about to unpack.
            const std::string marker = "package: ";
            const auto at = result.out.find(marker);
            ASSERT_NE(at, std::string::npos) << result.out;
            const fs::path downloaded =
                result.out.substr(at + marker.size(), result.out.find('\n', at) - at - marker.size());
            WriteFile(m_work / "new.txt", "an attacker's resource");
            MakePackage(downloaded);
            WriteFile(m_work / "new.txt", "a new resource");
            EXPECT_EQ(
                halvex::test::RunAndWait({(bundle / "Contents/Linux/Updater").string(), "-pid", "1000000", "-name",
                                          "Pellory", "-cur", bundle.string(), "-zip", downloaded.string(), "-ver",
                                          c.offered, "-sig", signature, "-silent", "1"}),
                1);
        } else {
            EXPECT_EQ(result.status, c.installed ? 0 : 1) << result.out;
        }
        EXPECT_NE(result.out.find(c.said), std::string::npos) << result.out;

        if (c.installed) {
            EXPECT_TRUE(WaitUntil([&] { return fs::exists(top / "relaunched.mark"); }, std::chrono::seconds(30)));
            auto expected = before;
            expected.erase("HalvexDravane.app/Contents/Linux/VERSION");
            auto after = Snapshot(top);
            EXPECT_EQ(after["HalvexDravane.app/Contents/Linux/VERSION"].substr(6), "1.1.0\n");
            EXPECT_NE(after["HalvexDravane.app/Contents/Resources/new.txt"].find(" a new resource"), std::string::npos);
            for (const char* changed : {"HalvexDravane.app/Contents/Linux/VERSION",
                                        "HalvexDravane.app/Contents/Resources/new.txt", "relaunched.mark"})
                after.erase(changed);
            EXPECT_EQ(after, expected);
        } else {
            // A refused update starts nothing that could change the drive later.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(Snapshot(top), before);
        }
        if (c.offer == Offer::HttpBase || c.offer == Offer::Redirect) {
            EXPECT_EQ(service.log().size(), requestsBefore) << "nothing may be asked over plain http";
        }
        if (c.offer == Offer::Redirect) {
            // The https server was reached: the refusal is the redirect's.
            EXPECT_NE(ReadFile(m_work / "redirect/requests.log").find("/check-update.php"), std::string::npos);
        }
        if (busIsSocket) {
            EXPECT_TRUE(fs::is_socket(run / "bus"));
            ::close(bus);
        } else {
            EXPECT_EQ(ReadFile(run / "bus"), "the session's file");
        }
    }
}

}  // namespace
