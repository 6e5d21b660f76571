#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

namespace halvex {

// The outcome of a core operation that can fail: a string-table key for the
// user's message and the system's own detail (usually strerror text).
// Callers decide what to show; nothing is thrown across a library boundary.
// Result<T> (Result.h) carries the same failure beside a value.
struct [[nodiscard]] Status {
    bool ok = true;
    std::string messageKey;  // string-table key, empty when ok
    std::string detail;      // system detail, e.g. "Permission denied"
    int systemError = 0;     // errno of the failing call, when one failed (ENOSPC stops a run)

    // The key of a stop the user asked for. It names no message: windows and
    // the command line show nothing for it.
    static constexpr const char* kCancelledKey = "cancelled";

    static Status Ok() { return {}; }
    static Status Fail(std::string key, std::string detail = {})
    {
        return Status{false, std::move(key), std::move(detail)};
    }
    // A system call failed on `where`: the detail names the file and the
    // system's reason, "/media/x/a.txt: Permission denied".
    static Status FailErrno(std::string key, const std::filesystem::path& where, int error)
    {
        Status failure = FailErrno(std::move(key), error);
        failure.detail = where.string() + ": " + failure.detail;
        return failure;
    }
    // The same where the message already names the file: the detail is the
    // system's reason alone, "Permission denied".
    static Status FailErrno(std::string key, int error)
    {
        Status failure = Fail(std::move(key), std::strerror(error));
        failure.systemError = error;
        return failure;
    }
    static Status Cancelled() { return Fail(kCancelledKey); }

    // A step's failure told as the failure of the operation that took it:
    // the operation's message, the step's detail and errno. Ok stays ok.
    Status As(std::string key) const
    {
        Status told = *this;
        if (!told.ok)
            told.messageKey = std::move(key);
        return told;
    }

    bool cancelled() const { return !ok && messageKey == kCancelledKey; }
    explicit operator bool() const { return ok; }
};

}  // namespace halvex
