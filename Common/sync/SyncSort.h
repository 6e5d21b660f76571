#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sync/ItemData.h"

namespace halvex {

enum class SyncColumn { Name, Size, LastModified, Direction };
enum class SortOrder { Ascending, Descending };

// Strict weak orders of the four list columns. Size and date sort by the value
// their text stands for; a row whose source could not be read has no size and
// no date and sorts before every row that has them.
bool NameLess(const ItemData& a, const ItemData& b);
bool SizeLess(const ItemData& a, const ItemData& b);
bool DateLess(const ItemData& a, const ItemData& b);
// By the localised direction texts, without regard to case.
bool DirectionLess(const ItemData& a, const ItemData& b, const std::string& fromDriveText,
                   const std::string& fromComputerText);

// Case-insensitive comparison of UTF-8 texts: ASCII letters folded, other
// bytes compared as they are.
int CompareNoCase(std::string_view a, std::string_view b);

// Stable sort of the rows by one column; equal rows keep the order of the scan.
void SortRows(std::vector<ItemData>& rows, SyncColumn column, SortOrder order);

// The direction column's text of a row ("sync_dir_usb" or "sync_dir_local").
std::string DirectionText(const ItemData& row);

}  // namespace halvex
