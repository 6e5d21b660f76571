#pragma once

// Shared by the fault tests: a fresh folder per test, whole-file reads and
// writes, the real programs as child processes (with their output kept and a
// way to kill them at a chosen moment), and a child process with a small
// volume of its own for a full drive.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../sync/SyncTestSupport.h"

extern char** environ;

namespace faults {

namespace fs = std::filesystem;

using synctest::ReadFile;
using synctest::SetTime;
using synctest::TempFolder;
using synctest::WriteFile;

// Text whose every line carries its own number: a truncated or misplaced
// part shows, and deflate packs it quickly.
inline std::string NumberedLines(std::size_t bytes, const char* tag)
{
    std::string text;
    text.reserve(bytes + 64);
    char line[64];
    for (unsigned n = 0; text.size() < bytes; ++n) {
        std::snprintf(line, sizeof line, "%s line %09u\n", tag, n);
        text += line;
    }
    text.resize(bytes);
    return text;
}

// Bytes deflate cannot shrink, so writing their archive takes a while.
inline std::string NoiseBytes(std::size_t bytes, unsigned seed)
{
    std::string data(bytes, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
    for (std::size_t i = 0; i < bytes; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(&data[i], &state, std::min<std::size_t>(8, bytes - i));
    }
    return data;
}

// Names in folder (not below it) that begin with prefix.
inline std::vector<std::string> NamesStartingWith(const fs::path& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(it->path().filename().string());
    return names;
}

// Every leftover temporary of the copy engine below folder, at any depth.
inline std::vector<fs::path> CopyLeftovers(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().rfind(".halvex-part-", 0) == 0)
            found.push_back(it->path());
    return found;
}

inline fs::path ProgramPath(const char* name)
{
    return fs::path(HALVEX_PROGRAM_DIR) / name;
}

// A program started with extra environment variables, its output going to
// files. Killed (SIGKILL) and reaped when dropped while still running.
class Child {
public:
    Child(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
          const fs::path& outputFolder)
        : m_out(outputFolder / "stdout.txt"), m_err(outputFolder / "stderr.txt")
    {
        std::vector<std::string> variables = environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool overridden = false;
            for (const std::string& given : environment)
                overridden = overridden || given.rfind(name + "=", 0) == 0;
            if (!overridden)
                variables.push_back(entry);
        }
        std::vector<char*> argv, envp;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& v : variables)
            envp.push_back(const_cast<char*>(v.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // The wait status of the ended program.
    int Wait()
    {
        if (m_pid > 0 && !m_reaped) {
            while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
            m_reaped = true;
        }
        return m_status;
    }
    // The exit status, or -signal when a signal ended it.
    int ExitCode()
    {
        if (m_pid <= 0)
            return -1000;
        const int status = Wait();
        if (WIFSIGNALED(status))
            return -WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
    }
    void Kill() { ::kill(m_pid, SIGKILL); }
    // Holds the program still (SIGSTOP) until Continue, so the test can act
    // at an exact point of its work.
    void Stop() { ::kill(m_pid, SIGSTOP); }
    void Continue() { ::kill(m_pid, SIGCONT); }
    std::string Out() const { return ReadFile(m_out); }
    std::string Err() const { return ReadFile(m_err); }

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_reaped = false;
    fs::path m_out;
    fs::path m_err;
};

// Watches a folder for new names and answers the first that matches, or
// nullopt after the limit. Set up before the writer starts so no creation is
// missed; the answer comes within microseconds of the file's creation, long
// before a large copy into it can finish.
class CreationWatch {
public:
    explicit CreationWatch(const fs::path& folder)
    {
        m_fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_fd >= 0 && ::inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CreationWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CreationWatch(const CreationWatch&) = delete;
    CreationWatch& operator=(const CreationWatch&) = delete;
    bool ready() const { return m_fd >= 0; }

    std::optional<std::string> WaitFor(const std::function<bool(const std::string&)>& match,
                                       std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        alignas(inotify_event) char buffer[8192];
        while (m_fd >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->len > 0 && match(event->name))
                    return std::string(event->name);
            }
        }
        return std::nullopt;
    }

private:
    int m_fd = -1;
};

inline bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

// Runs body in a forked child whose own mount namespace has a tmpfs of the
// given size on mountPoint, and gives back the text body made. nullopt when
// the namespace or the mount could not be had (not root, or not allowed).
inline std::optional<std::string> WithSmallVolume(const fs::path& mountPoint, const std::string& size,
                                                  const std::function<std::string()>& body)
{
    const std::string options = "size=" + size;
    return synctest::InChild(
        [&] {
            return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) == 0;
        },
        body);
}

}  // namespace faults
