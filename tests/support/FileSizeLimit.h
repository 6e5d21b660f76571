#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace halvex::test {

// Runs `work` in a child process whose writes past `bytes` fail with EFBIG
// (RLIMIT_FSIZE, SIGXFSZ ignored): a real write failure in the middle of a
// file, without a small volume. The limit stays in the child. True when the
// child ran and `work` answered true.
inline bool HoldsWithFileSizeLimit(rlim_t bytes, const std::function<bool()>& work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace halvex::test
