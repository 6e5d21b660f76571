#pragma once

#include <cstddef>

namespace halvex {

// Writes all `size` bytes of `data` to `fd`, going on after a short write or
// an interrupting signal. Answers 0, or the errno of the write that failed
// (EIO when the descriptor took nothing). `written`, when given, receives the
// count that went out, also on failure.
[[nodiscard]] int WriteAll(int fd, const void* data, std::size_t size, std::size_t* written = nullptr);

}  // namespace halvex
