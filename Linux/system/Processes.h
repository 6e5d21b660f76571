#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// A program could not be started; the detail names it and the system's reason.
inline constexpr const char* kProgramStartErrorKey = "err_program_start";
// A program asked to quit still runs, or may not be signalled.
inline constexpr const char* kProgramQuitErrorKey = "err_program_quit";

// Starts a program detached: its own session (no terminal, no share in the
// starter's Ctrl-C), standard input from /dev/null, default signal handling.
// A program name without a slash is looked up in PATH. The child is reaped
// in the background, so it leaves no zombie behind. Answers the process id,
// or kProgramStartErrorKey with the system's reason.
Result<pid_t> StartDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// The running processes whose executable is `executable` (compared after
// resolving links; a program replaced on disk since it started still counts).
std::vector<pid_t> FindProcessesByExecutable(const std::filesystem::path& executable,
                                             const std::filesystem::path& procRoot = "/proc");

// True when the process no longer runs (gone, or ended and not yet reaped).
bool ProcessEnded(pid_t pid);

// Waits until the process has ended or the time limit passed; true when it ended.
bool WaitForProcessEnd(pid_t pid, std::chrono::milliseconds limit);

// Asks the process to quit (SIGTERM) and waits up to `limit`; ok when it has
// ended (also when it was already gone), kProgramQuitErrorKey when it still
// runs or may not be signalled.
[[nodiscard]] Status QuitProcess(pid_t pid, std::chrono::milliseconds limit);

}  // namespace halvex
