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

// The same as one answer: 0 when what was written is on the device as far
// as the file system can tell, else an errno. A file system that cannot
// flush at all (some FUSE mounts say so) is no failure; one that no longer
// answers afterwards is (EIO when the flush itself said nothing).
int FlushDriveAt(int folderFd);

}  // namespace halvex
