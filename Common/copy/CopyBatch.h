#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "copy/FileCopier.h"

namespace halvex {

// How many finished copies wait for one flush. One flush of a flash stick
// costs tens of milliseconds whatever it holds, so it is shared by many small
// files; the bounds keep the work a failed flush undoes, and the descriptors
// held meanwhile (two a copy), small.
struct CopyBatchBounds {
    std::size_t files = 256;
    std::uint64_t bytes = 64ull << 20;
};

// Flushes the file system that holds an open folder: 0 or an errno. syncfs
// unless a test puts a failing one in its place.
using FileSystemFlusher = std::function<int(int folderFd)>;

// Copies written under their temporary names (WriteCopyAt) that wait for one
// flush of their file systems before they are committed: a drive pulled at
// any moment holds, under each real name, the earlier file or the whole new
// one, never an empty file with the source's time. Each copy carries the
// caller's tag (a row number).
class CopyBatch {
public:
    explicit CopyBatch(CopyBatchBounds bounds = {}, FileSystemFlusher flush = {})
        : m_bounds(bounds), m_flush(std::move(flush))
    {}

    // Takes a finished copy; answers whether the batch is full now.
    bool Add(std::size_t tag, PendingCopy copy);
    bool Empty() const { return m_copies.empty(); }
    std::size_t Count() const { return m_copies.size(); }

    // Flushes each file system that holds a copy of the batch, once. Answers
    // 0 or the first flush's errno; the copies wait either way.
    int Flush() const;

    // Hands the copies over in the order they came, leaving the batch empty.
    // Those the caller does not commit remove their temporaries as they go.
    std::vector<std::pair<std::size_t, PendingCopy>> Take();

private:
    CopyBatchBounds m_bounds;
    FileSystemFlusher m_flush;
    std::uint64_t m_bytes = 0;
    std::vector<std::pair<std::size_t, PendingCopy>> m_copies;
};

}  // namespace halvex
