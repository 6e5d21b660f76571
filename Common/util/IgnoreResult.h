#pragma once

#include <cstddef>

namespace halvex {

// Drops a [[nodiscard]] result on purpose and says why, where a bare (void)
// would hide whether the failure was forgotten or does not matter:
//     IgnoreResult(::close(fd), "read-only descriptor, nothing to flush");
// The reason is for the reader; it must not be empty.
template <typename T, std::size_t N>
constexpr void IgnoreResult(T&& /*result*/, [[maybe_unused]] const char (&reason)[N])
{
    static_assert(N > 1, "say why the result is dropped");
}

}  // namespace halvex
