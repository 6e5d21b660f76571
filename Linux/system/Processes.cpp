#include "system/Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace halvex {

namespace {

// The state letter of /proc/<pid>/stat, after the command name in brackets
// (which may itself hold blanks and brackets); 0 when unreadable.
char ProcessState(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    if (!in)
        return 0;
    char buffer[1024];
    in.read(buffer, sizeof buffer);
    const std::string_view text(buffer, static_cast<std::size_t>(in.gcount()));
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos || close + 2 >= text.size())
        return 0;
    return text[close + 2];
}

class SpawnAttributes {
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&m_attr);
        posix_spawn_file_actions_init(&m_actions);
    }
    ~SpawnAttributes()
    {
        posix_spawnattr_destroy(&m_attr);
        posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
};

}  // namespace

Result<pid_t> StartDetached(const fs::path& program, const std::vector<std::string>& arguments)
{
    if (program.empty())
        return Result<pid_t>::Fail(kProgramStartErrorKey, "no program");
    SpawnAttributes spawn;
    sigset_t empty;
    sigemptyset(&empty);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD, SIGQUIT})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&spawn.m_attr, &empty);
    posix_spawnattr_setsigdefault(&spawn.m_attr, &defaults);
    posix_spawnattr_setflags(&spawn.m_attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addopen(&spawn.m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Nothing but the standard streams goes with it: not the lock on the
    // cached copy of the programs this suite runs from, which would keep
    // that copy from being tidied away while the started program lives.
    posix_spawn_file_actions_addclosefrom_np(&spawn.m_actions, STDERR_FILENO + 1);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    const bool searchPath = path.find('/') == std::string::npos;
    const int result = searchPath
                           ? posix_spawnp(&child, path.c_str(), &spawn.m_actions, &spawn.m_attr, argv.data(), environ)
                           : posix_spawn(&child, path.c_str(), &spawn.m_actions, &spawn.m_attr, argv.data(), environ);
    if (result != 0)
        return Result<pid_t>::FailErrno(kProgramStartErrorKey, program, result);
    // The starter may run for hours (the main window): reap the child so it
    // does not linger as a zombie.
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return Result<pid_t>::Ok(child);
}

std::vector<pid_t> FindProcessesByExecutable(const fs::path& executable, const fs::path& procRoot)
{
    std::vector<pid_t> found;
    std::error_code error;
    fs::path wanted = fs::canonical(executable, error);
    if (error)
        wanted = executable.lexically_normal();
    const std::string deleted = wanted.string() + " (deleted)";

    fs::directory_iterator it(procRoot, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos || name.size() > 9)
            continue;
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(it->path() / "exe", linkError);
        if (linkError)
            continue;
        if (exe == wanted || exe.string() == deleted)
            found.push_back(static_cast<pid_t>(std::atol(name.c_str())));
    }
    return found;
}

bool ProcessEnded(pid_t pid)
{
    if (pid <= 0)
        return true;
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return true;
    const char state = ProcessState(pid);
    return state == 'Z' || state == 'X';
}

bool WaitForProcessEnd(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (ProcessEnded(pid))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Status QuitProcess(pid_t pid, std::chrono::milliseconds limit)
{
    const std::string process = "process " + std::to_string(pid);
    if (pid <= 0)
        return Status::Fail(kProgramQuitErrorKey, process + ": no such process id");
    if (::kill(pid, SIGTERM) != 0) {
        const int error = errno;
        return error == ESRCH ? Status::Ok() : Status::FailErrno(kProgramQuitErrorKey, process, error);
    }
    if (!WaitForProcessEnd(pid, limit))
        return Status::Fail(kProgramQuitErrorKey,
                            process + ": still running after " + std::to_string(limit.count()) + " ms");
    return Status::Ok();
}

}  // namespace halvex
