#pragma once

namespace halvex {

// What one flush of a drive's file system found: syncfs's error (0 when the
// data reached the device) and whether the file system still answers for
// its own figures afterwards. A pulled drive's FUSE driver may still answer
// for a folder from its cache, and some answer a flush with success; the
// figures come from the driver itself, or fail.
struct FileSystemFlush {
    int error = 0;
    bool answers = true;
};

// Flushes the file system that holds the open folder `folderFd`.
FileSystemFlush FlushFileSystem(int folderFd);

}  // namespace halvex
