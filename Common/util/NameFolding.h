#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// How the drive's own file systems see names. FAT and exFAT keep the case a
// name was written in but find it under any case, so `Report.txt` and
// `report.txt` are one file there; and they refuse some names a computer
// holds without complaint.

// Whether names in `folder` that differ only in case name one file there.
// Probes without writing: an entry of the folder looked up in another case
// (found although not listed, or the same device and inode, means folding;
// not found means not). With no entry to probe, the file system type of the
// folder's mount decides (HALVEX_MOUNTINFO when set, else
// /proc/self/mountinfo): vfat, msdos, exfat, ntfs3 and the FUSE mounts of
// them fold. False when nothing can be learnt.
bool FoldsCase(const std::filesystem::path &folder);

// Whether a mount of this type keeps names that differ only in case apart.
bool FileSystemTypeFoldsCase(std::string_view fsType);

// The key under which a folding file system sees the UTF-8 name `name`: two
// names clash there when their keys are equal. Bytes that are not UTF-8 stay
// as they are.
std::string FoldedName(std::string_view name);

// Empty when FAT and exFAT can hold `name` as one path component; otherwise
// the string-table key of the reason: a character of "*:<>?\| or a control
// character, a trailing dot or blank, more than 255 UTF-16 units, or bytes
// that are not UTF-8.
std::string FatNameProblem(std::string_view name);

} // namespace halvex
