#pragma once

#include <cstdint>
#include <string_view>

#include "sync/FolderListing.h"

namespace halvex {

// What the sync passes over, on both sides and in both directions: such an
// entry is not listed, compared, counted or copied, and the scan treats its
// name as absent from that side.
// - a name beginning with "." (hidden on Linux and on the Mac), file,
//   folder, link or device alike;
// - a file or folder whose FAT hidden attribute is set (fatAttributes as
//   FAT_IOCTL_GET_ATTRIBUTES gives them; 0 where the file system keeps none);
// - a file whose name ends in ".lnk" in any case (a Windows shortcut, which
//   points nowhere on another computer).
// Links and devices with other names are not passed over: the scan reports
// them where they meet a file or folder of the other side.
bool SyncPassesOver(std::string_view name, FolderListing::Kind kind, std::uint32_t fatAttributes);

// The FAT attributes of a file or folder in folderFd, read without following
// a link; 0 when the driver does not give them.
std::uint32_t FatAttributesAt(int folderFd, const char* name, bool isFolder);

}  // namespace halvex
