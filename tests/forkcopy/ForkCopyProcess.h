#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace halvex::testing {

inline std::string ForkCopyProgram()
{
    return std::string(HALVEX_PROGRAM_DIR) + "/forkcopy";
}

// Starts forkcopy with the arguments; `prepare` runs in the child just before
// the program replaces it (limits, another user). stderr goes to /dev/null.
inline pid_t StartForkCopy(const std::vector<std::string>& arguments, const std::function<void()>& prepare = {})
{
    std::vector<std::string> all{ForkCopyProgram()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (prepare)
            prepare();
        if (FILE* quiet = freopen("/dev/null", "w", stderr); quiet == nullptr)
            _exit(120);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// The exit status, or 128 + the signal that ended it.
inline int WaitForExit(pid_t child)
{
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return -1;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

inline int RunForkCopy(const std::vector<std::string>& arguments, const std::function<void()>& prepare = {})
{
    return WaitForExit(StartForkCopy(arguments, prepare));
}

}  // namespace halvex::testing
