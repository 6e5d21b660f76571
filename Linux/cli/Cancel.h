#pragma once

#include <atomic>

namespace halvex::cli {

// Set by Ctrl-C. Commands hand it to the engines as their cancel flag, so
// the first Ctrl-C ends the work cleanly (nothing half-copied is left);
// a second Ctrl-C ends the program at once.
std::atomic<bool>& CancelFlag();

// Installs the SIGINT handler that sets CancelFlag (main thread, at start).
void InstallInterruptHandler();

}  // namespace halvex::cli
