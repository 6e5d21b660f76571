#pragma once

#include <string>
#include <utility>

namespace halvex {

// The outcome of a core operation that can fail: a string-table key for the
// user's message and the system's own detail (usually strerror text).
// Callers decide what to show; nothing is thrown across a library boundary.
struct [[nodiscard]] Status {
    bool ok = true;
    std::string messageKey;  // string-table key, empty when ok
    std::string detail;      // system detail, e.g. "Permission denied"

    static Status Ok() { return {}; }
    static Status Fail(std::string key, std::string detail = {})
    {
        return Status{false, std::move(key), std::move(detail)};
    }
    explicit operator bool() const { return ok; }
};

}  // namespace halvex
