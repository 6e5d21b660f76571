// forkcopy -s SOURCE -d FOLDER: copies a file, link or folder tree into an
// existing folder with its data, extended attributes, mode, owner (as root)
// and times. Exit status 0 when copied, 2 for wrong arguments, 4 when the
// copy failed. The sync run starts it as a child so that it can stop (SIGSTOP),
// continue (SIGCONT) and end (SIGTERM) it at any time.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string_view>
#include <vector>

#include "ForkCopyArguments.h"
#include "copy/TreeCopier.h"

namespace {

constexpr int kStatusCopied = 0;
constexpr int kStatusUsage = 2;
constexpr int kStatusFailed = 4;

// Set by SIGTERM, SIGINT and SIGHUP; the copy stops between chunks, removes
// the file it was writing and the program then ends by the same signal.
std::atomic<bool> sStopRequested{false};
std::atomic<int> sStopSignal{0};

void RequestStop(int signalNumber)
{
    sStopSignal.store(signalNumber);
    sStopRequested.store(true);
}

void InstallStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting call returns at once
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

[[noreturn]] void EndBySignal(int signalNumber)
{
    // The parent sees the same end it would have without the clean-up.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    _exit(128 + signalNumber);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto parsed = halvex::ParseForkCopyArguments(arguments);
    if (!parsed) {
        std::fprintf(stderr, "usage: forkcopy -s source -d destination-folder\n");
        return kStatusUsage;
    }
    static_assert(std::atomic<bool>::is_always_lock_free);
    InstallStopHandlers();

    halvex::TreeCopyOptions options;
    options.cancel = &sStopRequested;
    const halvex::Status copied = halvex::CopyIntoFolder(parsed->source, parsed->destinationFolder, options);

    if (copied.cancelled() || sStopRequested.load()) {
        if (int signalNumber = sStopSignal.load())
            EndBySignal(signalNumber);
    }
    if (copied.ok)
        return kStatusCopied;
    if (copied.messageKey == halvex::kCopyIntoItselfKey)
        std::fprintf(stderr, "forkcopy: %s: cannot copy a folder into itself\n", parsed->source.c_str());
    else
        std::fprintf(stderr, "forkcopy: %s\n", copied.detail.c_str());  // "item: reason"
    return kStatusFailed;
}
