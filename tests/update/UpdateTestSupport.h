#pragma once

// Shared by the update engine tests and the updater tests: a loopback web
// server run by python3, and zip archives made by python3's zipfile (entry
// names and modes exactly as the test wants).

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "WaitUntil.h"

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

// The update service on loopback, serving the files of `root`.
class LoopbackServer {
public:
    explicit LoopbackServer(const fs::path& root, const std::string& mode = "serve")
    {
        const fs::path portFile = root / ".port";
        std::error_code error;
        fs::remove(portFile, error);  // left by an earlier server of the same folder
        m_pid = Spawn({"python3", DataFile("update_server.py").string(), "--root", root.string(), "--port-file",
                       portFile.string(), "--mode", mode});
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
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace halvex::test
