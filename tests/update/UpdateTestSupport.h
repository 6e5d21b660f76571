#pragma once

// Shared by the update engine tests and the updater tests: a loopback web
// server run by python3, and zip archives made by python3's zipfile (entry
// names and modes exactly as the test wants).

#include <openssl/evp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "WaitUntil.h"
#include "update/PackageSignature.h"
#include "update/Sha256.h"

extern char** environ;

namespace halvex::test {

namespace fs = std::filesystem;

inline fs::path DataFile(const char* name)
{
    return fs::path(HALVEX_TEST_DATA) / "update" / name;
}

inline pid_t Spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

inline int RunAndWait(const std::vector<std::string>& arguments)
{
    const pid_t pid = Spawn(arguments);
    if (pid <= 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// make_zip.py OUT NAME=SOURCE[:MODE] ...
inline bool MakeZip(const fs::path& out, const std::vector<std::string>& entries)
{
    std::vector<std::string> arguments{"python3", DataFile("make_zip.py").string(), out.string()};
    arguments.insert(arguments.end(), entries.begin(), entries.end());
    return RunAndWait(arguments) == 0;
}

enum class Transport { Http, Https };

// The update service on loopback, serving the files of `root`. Over https
// its certificate, made at start, is <root>/.tls/cert.pem (authority()).
class LoopbackServer {
public:
    explicit LoopbackServer(const fs::path& root, const std::string& mode = "serve",
                            Transport transport = Transport::Http)
        : m_authority(root / ".tls" / "cert.pem"), m_https(transport == Transport::Https)
    {
        const fs::path portFile = root / ".port";
        std::error_code error;
        fs::remove(portFile, error);  // left by an earlier server of the same folder
        std::vector<std::string> arguments{"python3",     DataFile("update_server.py").string(),
                                           "--root",      root.string(),
                                           "--port-file", portFile.string(),
                                           "--mode",      mode};
        if (m_https)
            arguments.push_back("--tls");
        m_pid = Spawn(arguments);
        // The server writes the file whole, by a rename, once it listens.
        if (m_pid > 0 && WaitUntil([&] { return fs::exists(portFile); }))
            m_port = std::atoi(ReadFile(portFile).c_str());
    }
    ~LoopbackServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool running() const { return m_port > 0; }
    std::string base() const
    {
        return std::string(m_https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) + "/";
    }
    const fs::path& authority() const { return m_authority; }

private:
    fs::path m_authority;
    bool m_https = false;
    pid_t m_pid = -1;
    int m_port = 0;
};

// A publisher's key made for one test, which signs as publish-update.sh does.
class UpdateSigner {
public:
    UpdateSigner() : m_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free) {}

    // The base64 of the raw public key, as a drive's configuration lists it.
    std::string PublicKey() const
    {
        unsigned char raw[32];
        std::size_t length = sizeof raw;
        if (!m_key || EVP_PKEY_get_raw_public_key(m_key.get(), raw, &length) != 1)
            return {};
        return Base64(raw, length);
    }

    std::string Sign(const std::string& text) const
    {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        unsigned char signature[64];
        std::size_t length = sizeof signature;
        if (!m_key || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get()) != 1 ||
            EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(text.data()),
                           text.size()) != 1)
            return {};
        return Base64(signature, length);
    }

    // The signature of the package file as it is, for the suite's identifier.
    std::string SignPackage(const fs::path& package, const std::string& version, const std::string& id = "01") const
    {
        return Sign(SignedUpdateText(id, version, FileSha256(package).ValueOr({})));
    }

private:
    static std::string Base64(const unsigned char* bytes, std::size_t length)
    {
        std::string text(4 * ((length + 2) / 3) + 1, '\0');
        const int written =
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, static_cast<int>(length));
        text.resize(static_cast<std::size_t>(written));
        return text;
    }

    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> m_key;
};

// A drive's Configuration.plist that lists `keys` (and a base address when one is given).
inline std::string ConfigurationListing(const std::vector<std::string>& keys, const std::string& base = {})
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    if (!base.empty())
        text += "<key>UpdateBaseURL</key><string>" + base + "</string>";
    text += "<key>UpdatePublicKeys</key><array>";
    for (const std::string& key : keys)
        text += "<string>" + key + "</string>";
    return text + "</array></dict></plist>\n";
}

}  // namespace halvex::test
