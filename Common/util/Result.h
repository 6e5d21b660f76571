#pragma once

#include "util/Status.h"

#include <cassert>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace halvex {

// A value, or the same failure a Status carries (string-table key and system
// detail). Core calls that produce something answer with this instead of an
// out-parameter beside a bool, so a caller cannot read a value that was never
// made: value() on a failure is a programming error.
template <typename T>
class [[nodiscard]] Result {
public:
    static Result Ok(T value) { return Result(std::move(value)); }
    static Result Fail(std::string key, std::string detail = {})
    {
        return Result(Status::Fail(std::move(key), std::move(detail)));
    }
    static Result FailErrno(std::string key, const std::filesystem::path& where, int error)
    {
        return Result(Status::FailErrno(std::move(key), where, error));
    }
    static Result Cancelled() { return Result(Status::Cancelled()); }
    // Passes on a failure from a call that returned a Status.
    static Result From(Status failure)
    {
        assert(!failure.ok);
        return Result(std::move(failure));
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const&
    {
        assert(ok());
        return *m_value;
    }
    T& value() &
    {
        assert(ok());
        return *m_value;
    }
    T&& value() &&
    {
        assert(ok());
        return std::move(*m_value);
    }
    T ValueOr(T fallback) const& { return ok() ? *m_value : std::move(fallback); }

    const std::string& messageKey() const { return m_status.messageKey; }
    const std::string& detail() const { return m_status.detail; }
    int systemError() const { return m_status.systemError; }
    bool cancelled() const { return m_status.cancelled(); }
    // The failure alone, for a caller that answers with a Status.
    Status status() const { return m_status; }

private:
    explicit Result(T value) : m_value(std::move(value)) {}
    explicit Result(Status failure) : m_status(std::move(failure)) {}

    std::optional<T> m_value;
    Status m_status;  // ok while a value is held
};

}  // namespace halvex
