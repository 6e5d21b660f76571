#include "zip/WholeEntryCodec.h"

#include <libdeflate.h>

#include <cstdlib>
#include <memory>

namespace halvex {

namespace {

// Level 6 gives the archive sizes of zlib's default level.
constexpr int kLevel = 6;
constexpr std::size_t kKeptCapacity = std::size_t{4} * 1024 * 1024;

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One of each per thread: they are not shared, and setting one up costs more
// than compressing a small file.
libdeflate_compressor* Compressor()
{
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(kLevel));
    return compressor.get();
}

libdeflate_decompressor* Decompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

}  // namespace

ScratchBuffer::~ScratchBuffer()
{
    std::free(m_data);
}

unsigned char* ScratchBuffer::Reserve(std::size_t size)
{
    if (size > m_capacity || !m_data) {
        std::free(m_data);
        m_capacity = 0;
        // Not zero-filled: every byte is written before it is read.
        m_data = static_cast<unsigned char*>(std::malloc(size ? size : 1));
        if (m_data)
            m_capacity = size;
    }
    return m_data;
}

void ScratchBuffer::Trim()
{
    if (m_capacity > kKeptCapacity) {
        std::free(m_data);
        m_data = nullptr;
        m_capacity = 0;
    }
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size)
{
    return libdeflate_crc32(0, data, size);
}

std::size_t DeflateWhenSmaller(const unsigned char* data, std::size_t size, unsigned char* out)
{
    libdeflate_compressor* compressor = Compressor();
    // Deflating must save at least 1/32 of the size, or the entry is stored.
    const std::size_t room = size - size / 32;
    if (!compressor || room == 0)
        return 0;
    const std::size_t packed = libdeflate_deflate_compress(compressor, data, size, out, room - 1);
    return packed;
}

bool InflateExactly(const unsigned char* in, std::size_t inSize, unsigned char* out, std::size_t size)
{
    libdeflate_decompressor* decompressor = Decompressor();
    return decompressor &&
           libdeflate_deflate_decompress(decompressor, in, inSize, out, size, nullptr) == LIBDEFLATE_SUCCESS;
}

}  // namespace halvex
