#pragma once

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <optional>

#include "copy/FileCopier.h"

namespace halvex {

struct TreeCopyOptions {
    // Checked between entries and inside each file's copy.
    const std::atomic<bool>* cancel = nullptr;
    const std::atomic<bool>* pause = nullptr;
    bool durable = true;  // see CopyOptions::durable
};

// The key of a folder refused because the destination lies inside it.
inline constexpr char kCopyIntoItselfKey[] = "copy_into_itself";

// Copies a file, link or folder tree into an existing folder under the
// source's own name, with everything a file carries on Linux: data, extended
// attributes (ACLs among them), mode, owner and group when running as root,
// and access and modification times. Links are copied as links.
//
// A name already present in the folder fails with EEXIST and stays as it is.
// A folder is never copied into itself or below itself. The copy stops at the
// first error: the file being written then is removed, items finished before
// it stay. Folders are created, filled and only then given their mode and
// times, so a read-only source folder and a write-only destination (a drop
// folder) both work, and no folder is ever listed on the destination side.
//
// Answers ok, Status::Cancelled(), kCopyIntoItselfKey, or kCopyFailedKey with
// the errno of the failing call and a detail that names the item being
// copied when it failed ("/src/a.txt: Permission denied").
Status CopyIntoFolder(const std::filesystem::path& source, const std::filesystem::path& destinationFolder,
                      const TreeCopyOptions& options = {});

// True when `folder` is `item` or lies anywhere below it, following the
// folder's parents up to the root by device and inode, across volumes (a
// volume mounted inside the source is still inside it). Nothing when the walk
// could not be finished; errno then says why.
std::optional<bool> IsSameOrBelow(const std::filesystem::path& folder, const struct stat& item);

}  // namespace halvex
