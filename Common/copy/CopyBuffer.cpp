#include "copy/CopyBuffer.h"

#include <algorithm>

namespace halvex {

namespace {

std::size_t RoundAndClamp(std::uint64_t bytes)
{
    bytes -= bytes % 512;
    bytes = std::clamp<std::uint64_t>(bytes, kMinimumCopyBufferSize, kMaximumCopyBufferSize);
    return static_cast<std::size_t>(bytes);
}

}  // namespace

std::size_t CopyBufferSizeFor(const VolumeSpeed& volume)
{
    if (volume.onServer || volume.bytesPerSecond == 0)
        return kDefaultCopyBufferSize;
    return RoundAndClamp(volume.bytesPerSecond / 4);
}

std::size_t ChooseCopyBufferSize(const VolumeSpeed& source, const VolumeSpeed& destination)
{
    return std::min(CopyBufferSizeFor(source), CopyBufferSizeFor(destination));
}

std::size_t ClampCopyBufferSize(std::size_t requested)
{
    if (requested == 0)
        return kDefaultCopyBufferSize;
    return RoundAndClamp(requested);
}

}  // namespace halvex
