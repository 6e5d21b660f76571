#include "sync/SyncSort.h"

#include <algorithm>

#include "strings/KXStrings.h"

namespace halvex {

int CompareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z')
            y += 'a' - 'A';
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool NameLess(const ItemData& a, const ItemData& b)
{
    return CompareNoCase(a.name, b.name) < 0;
}

bool SizeLess(const ItemData& a, const ItemData& b)
{
    if (a.readable != b.readable)
        return !a.readable;
    return a.size < b.size;
}

bool DateLess(const ItemData& a, const ItemData& b)
{
    if (a.readable != b.readable)
        return !a.readable;
    return a.date < b.date;
}

bool DirectionLess(const ItemData& a, const ItemData& b, const std::string& fromDriveText,
                   const std::string& fromComputerText)
{
    return CompareNoCase(a.sourceUsb ? fromDriveText : fromComputerText,
                         b.sourceUsb ? fromDriveText : fromComputerText) < 0;
}

std::string DirectionText(const ItemData& row)
{
    if (!row.problem.empty())
        return KXStrings::GetString("sync_dir_problem");
    return KXStrings::GetString(row.sourceUsb ? "sync_dir_usb" : "sync_dir_local");
}

void SortRows(std::vector<ItemData>& rows, SyncColumn column, SortOrder order)
{
    const std::string fromDrive = KXStrings::GetString("sync_dir_usb");
    const std::string fromComputer = KXStrings::GetString("sync_dir_local");
    auto less = [&](const ItemData& a, const ItemData& b) {
        switch (column) {
        case SyncColumn::Name: return NameLess(a, b);
        case SyncColumn::Size: return SizeLess(a, b);
        case SyncColumn::LastModified: return DateLess(a, b);
        case SyncColumn::Direction: return DirectionLess(a, b, fromDrive, fromComputer);
        }
        return false;
    };
    if (order == SortOrder::Ascending)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(), [&](const ItemData& a, const ItemData& b) { return less(b, a); });
}

}  // namespace halvex
