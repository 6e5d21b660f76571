#pragma once

#include <cstddef>
#include <cstdint>

namespace halvex {

inline constexpr std::size_t kDefaultCopyBufferSize = 262144;  // no speed known
inline constexpr std::size_t kMinimumCopyBufferSize = 1024;
inline constexpr std::size_t kMaximumCopyBufferSize = 2097152;

// What a volume says about itself for choosing the buffer size.
struct VolumeSpeed {
    bool onServer = false;
    std::uint64_t bytesPerSecond = 0;  // 0 when the volume reports no speed
};

// A quarter of a second's worth of the volume's speed, in whole 512-byte
// blocks, within the minimum and maximum; the default where the volume is on a
// server or its speed is unknown.
std::size_t CopyBufferSizeFor(const VolumeSpeed& volume);

// The smaller of the two volumes' sizes, so neither side is flooded.
std::size_t ChooseCopyBufferSize(const VolumeSpeed& source, const VolumeSpeed& destination);

// A caller's own size brought within the same limits (0 gives the default).
std::size_t ClampCopyBufferSize(std::size_t requested);

}  // namespace halvex
