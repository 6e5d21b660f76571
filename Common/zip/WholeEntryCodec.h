#pragma once

#include <cstddef>
#include <cstdint>

namespace halvex {

// Entries up to this size are deflated and inflated whole in memory with
// libdeflate, which is about twice as fast as zlib's streams; larger ones
// stream through zlib so that memory stays bounded.
constexpr std::uint64_t kWholeEntryLimit = 32ull * 1024 * 1024;

// A buffer of one thread, reused from file to file. It grows as needed and
// gives large blocks back after each use, so an idle worker holds little.
class ScratchBuffer {
public:
    ScratchBuffer() = default;
    ~ScratchBuffer();
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    unsigned char* Reserve(std::size_t size);
    unsigned char* data() const { return m_data; }
    // Frees the block when it is larger than what small files need.
    void Trim();

private:
    unsigned char* m_data = nullptr;
    std::size_t m_capacity = 0;
};

std::uint32_t Crc32(const unsigned char* data, std::size_t size);

// Deflates data (raw deflate, as zip entries hold it) into out, which holds
// at least `size` bytes. Answers the compressed size, or 0 when deflating
// would not save a few percent: such data is better stored as it is.
std::size_t DeflateWhenSmaller(const unsigned char* data, std::size_t size, unsigned char* out);

// Inflates a raw deflate stream that must give exactly `size` bytes.
bool InflateExactly(const unsigned char* in, std::size_t inSize, unsigned char* out, std::size_t size);

}  // namespace halvex
