#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "util/Status.h"
#include "util/Trash.h"

// One-file zip archives of the backup sets. Every archive holds one entry
// named by the file's name, deflated, or stored when deflating would not save
// a few percent; Info-ZIP unzip and Python's zipfile read them.
namespace halvex {

// Writes `archive` with one entry named `entryName` holding the
// content of `source`. The entry's time and the archive's modification time
// are the source's modification time; the entry also carries the exact time
// in an extended-timestamp extra field (0x5455), because the zip's own date is
// local time to 2 s. A file of up to 32 MiB is read and deflated once in
// memory and written raw with its CRC; larger ones stream. Files of 4 GiB and
// more get Zip64 records. On any failure (or when `cancel` becomes set) the
// partial archive is removed.
Status WriteSingleEntryZip(const std::filesystem::path& source, const std::filesystem::path& archive,
                           const std::string& entryName, const std::atomic<bool>* cancel = nullptr);

// Writes destination + ".zip" from source through a temporary name in the same
// folder, so an earlier archive stays whole until the new one is complete.
Status CopyFileZip(const std::filesystem::path& source, const std::filesystem::path& destination);

// True for an entry name that is a plain file name: not empty, no folder part
// ("/" or "\\"), not "." or "..", no control characters.
bool IsPlainEntryName(const std::string& name);

// An archive extracted beside its destination under temporary names, not
// yet in place: a restore unpacks ahead on several threads and places the
// files in order, so a question or a cancel in between leaves nothing behind.
struct UnpackedArchive {
    Status status;
    std::vector<std::pair<std::string, std::filesystem::path>> files;  // temporary, final name
};

// The temporaries a killed restore left beside a file go before it is
// unpacked again, unless the caller has cleared them for the whole folder.
enum class Leftovers { Remove, ClearedByCaller };

// Extracts the archive's one entry, which must be named as `destination`,
// beside it under a temporary name with the entry's time. An archive with
// any other entry, or with more than one, is refused whole as damaged and
// nothing of it is written. The entry's CRC is checked. An archive without
// entries is a success. On failure (or when `cancel` becomes set) no
// temporary is left.
UnpackedArchive UnpackBeside(const std::filesystem::path& destination, const std::filesystem::path& archive,
                             const std::atomic<bool>* cancel = nullptr, Leftovers leftovers = Leftovers::Remove);
// Renames the temporaries into place; answers the unpacking's status or the
// rename's failure. With a trash, a file that a temporary replaces goes
// there first; one that cannot go stays, and its temporary is dropped.
Status PlaceUnpacked(UnpackedArchive& unpacked, Trash* trash = nullptr);
void DiscardUnpacked(UnpackedArchive& unpacked);

// UnpackBeside and PlaceUnpacked in one step.
Status CopyFileUnZip(const std::filesystem::path& destination, const std::filesystem::path& archive);

}  // namespace halvex
