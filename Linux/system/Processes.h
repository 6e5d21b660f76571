#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace halvex {

// Starts a program detached: its own session (no terminal, no share in the
// starter's Ctrl-C), standard input from /dev/null, default signal handling.
// A program name without a slash is looked up in PATH. The child is reaped
// in the background, so it leaves no zombie behind. False when it could not
// be started; `pid` gets the process id when given.
[[nodiscard]] bool StartDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                 pid_t* pid = nullptr);

// The running processes whose executable is `executable` (compared after
// resolving links; a program replaced on disk since it started still counts).
std::vector<pid_t> FindProcessesByExecutable(const std::filesystem::path& executable,
                                             const std::filesystem::path& procRoot = "/proc");

// True when the process no longer runs (gone, or ended and not yet reaped).
bool ProcessEnded(pid_t pid);

// Waits until the process has ended or the time limit passed; true when it ended.
bool WaitForProcessEnd(pid_t pid, std::chrono::milliseconds limit);

// Asks the process to quit (SIGTERM) and waits up to `limit`; true when it
// has ended (also when it was already gone), false when it still runs or may
// not be signalled.
bool QuitProcess(pid_t pid, std::chrono::milliseconds limit);

}  // namespace halvex
