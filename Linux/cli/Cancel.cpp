#include "Cancel.h"

#include <signal.h>

namespace halvex::cli {

namespace {

std::atomic<bool> sCancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag is set from a signal handler");

void OnInterrupt(int)
{
    sCancel.store(true);
}

}  // namespace

std::atomic<bool>& CancelFlag()
{
    return sCancel;
}

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // The handler is used once; the next Ctrl-C has the default effect.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace halvex::cli
