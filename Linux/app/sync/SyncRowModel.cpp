#include "app/sync/SyncRowModel.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

#include <algorithm>

#include "sync/SyncProblem.h"
#include "sync/SyncSort.h"
#include "util/FileDateText.h"
#include "util/FileSizeText.h"
#include "toolkit/AppText.h"

namespace halvex::app {

namespace {

constexpr std::uint8_t kFromDrive = 1;
constexpr std::uint8_t kChecked = 2;
constexpr std::uint8_t kSynced = 4;
constexpr std::uint8_t kReadable = 8;
constexpr std::uint8_t kOutside = 16;  // held whole in m_vecOutside
constexpr std::uint8_t kDstScanned = 32;
constexpr std::uint8_t kDstExists = 64;
constexpr std::uint8_t kProblem = 128;  // never copied; the run reports it

QString Qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string WithSeparator(const std::filesystem::path& folder)
{
    std::string text = folder.string();
    if (!text.empty() && text.back() != '/')
        text += '/';
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

SyncRowModel::SyncRowModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_strDateFormat(UserShortDateFormat()),
      m_strTimeFormat(UserTimeFormatWithoutSeconds()),
      m_strFromDrive(TextOr("sync_dir_usb")),
      m_strFromComputer(TextOr("sync_dir_local")),
      m_strProblem(TextOr("sync_dir_problem")),
      m_clrDrive(127, 0, 0),
      m_clrComputer(0, 0, 200)
{}

int SyncRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SyncRowModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

std::string_view SyncRowModel::RelativeOf(const CompactRow& row) const
{
    return std::string_view(m_strText).substr(row.textAt, row.textSize);
}

std::string_view SyncRowModel::NameOf(const CompactRow& row) const
{
    if (row.flags & kOutside)
        return m_vecOutside[row.textAt].name;
    return RelativeOf(row).substr(row.nameAt);
}

std::string SyncRowModel::FullPath(const CompactRow& row, bool source) const
{
    if (row.flags & kOutside) {
        const ItemData& whole = m_vecOutside[row.textAt];
        return (source ? whole.path : whole.dstPath).string();
    }
    const bool onDrive = ((row.flags & kFromDrive) != 0) == source;
    std::string path = onDrive ? m_strDriveRoot : m_strComputerRoot;
    path += RelativeOf(row);
    return path;
}

ItemData SyncRowModel::Expand(const CompactRow& row) const
{
    ItemData item;
    if (row.flags & kOutside) {
        item = m_vecOutside[row.textAt];
    } else {
        item.path = FullPath(row, true);
        item.dstPath = FullPath(row, false);
        item.name = NameOf(row);
        if (row.flags & kReadable) {
            item.sizeText = SizeText(row.size);
            item.dateText = FormatFileDate(static_cast<std::time_t>(row.date), m_strDateFormat, m_strTimeFormat);
        }
    }
    item.size = row.size;
    item.date = row.date;
    item.sourceUsb = row.flags & kFromDrive;
    item.check = row.flags & kChecked;
    item.synced = row.flags & kSynced;
    item.readable = row.flags & kReadable;
    if (!(row.flags & kOutside)) {
        item.dstScanned = row.flags & kDstScanned;
        item.dstExists = row.flags & kDstExists;
        item.dstSize = row.dstSize;
        item.dstTimeNs = row.dstTimeNs;
    }
    return item;
}

// The desktop's icon for the file's type, one per extension for the whole list.
QIcon SyncRowModel::IconFor(std::string_view name) const
{
    const std::size_t dot = name.rfind('.');
    const QString extension =
        dot == std::string_view::npos || dot == 0 ? QString() : Qs(name.substr(dot + 1)).toLower();
    const auto held = m_icons.constFind(extension);
    if (held != m_icons.constEnd())
        return *held;
    static const QMimeDatabase mimeTypes;
    const QMimeType type = mimeTypes.mimeTypeForFile(Qs(name), QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    m_icons.insert(extension, icon);
    return icon;
}

QVariant SyncRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CompactRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<SyncColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case SyncColumn::Name: return Qs(NameOf(row));
        case SyncColumn::Size:
            if (row.flags & kOutside)
                return Qs(m_vecOutside[row.textAt].sizeText);
            return (row.flags & kReadable) ? Qs(SizeText(row.size)) : QString();
        case SyncColumn::LastModified:
            if (row.flags & kOutside)
                return Qs(m_vecOutside[row.textAt].dateText);
            return (row.flags & kReadable)
                       ? Qs(FormatFileDate(static_cast<std::time_t>(row.date), m_strDateFormat, m_strTimeFormat))
                       : QString();
        case SyncColumn::Direction:
            if (row.flags & kProblem)
                return m_strProblem;
            return (row.flags & kFromDrive) ? m_strFromDrive : m_strFromComputer;
        }
        break;
    case Qt::ToolTipRole:
        // A row that is not copied says why wherever the pointer rests.
        if (row.flags & kProblem)
            return Qs(FullPath(row, true) + "\n\n" + SyncProblemText(m_vecOutside[row.textAt]));
        return column == SyncColumn::Name ? Qs(FullPath(row, true)) : QVariant();
    case Qt::CheckStateRole:
        if (column == SyncColumn::Name)
            return (row.flags & kChecked) ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::DecorationRole:
        if (column == SyncColumn::Name)
            return IconFor(NameOf(row));
        break;
    case Qt::ForegroundRole: return (row.flags & kFromDrive) ? m_clrDrive : m_clrComputer;
    case Qt::TextAlignmentRole:
        if (column == SyncColumn::Size)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (column == SyncColumn::Direction)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default: break;
    }
    return {};
}

bool SyncRowModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != 0)
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    emit checksChanged();
    return true;
}

void SyncRowModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount())
        return;
    CompactRow& held = m_rows[static_cast<std::size_t>(row)];
    if (((held.flags & kChecked) != 0) == checked)
        return;
    held.flags = static_cast<std::uint8_t>(checked ? held.flags | kChecked : held.flags & ~kChecked);
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

QVariant SyncRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    static const char* const keys[] = {"name", "size", "last_modified", "sync_direction"};
    if (role == Qt::DisplayRole && section >= 0 && section < 4)
        return TextOr(keys[section]);
    if (role == Qt::TextAlignmentRole)
        return section == 1   ? int(Qt::AlignRight | Qt::AlignVCenter)
               : section == 3 ? int(Qt::AlignCenter)
                              : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags SyncRowModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

// The orders of SortRows, on the compact rows: names without regard to case,
// sizes and dates by value with unreadable files first, directions by their
// texts; stable, so equal rows keep the order of the scan.
void SyncRowModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column > 3)
        return;
    const int directionOrder = CompareNoCase(m_strFromDrive.toStdString(), m_strFromComputer.toStdString());
    auto less = [&](const CompactRow& a, const CompactRow& b) {
        switch (static_cast<SyncColumn>(column)) {
        case SyncColumn::Name: return CompareNoCase(NameOf(a), NameOf(b)) < 0;
        case SyncColumn::Size:
            if ((a.flags & kReadable) != (b.flags & kReadable))
                return !(a.flags & kReadable);
            return a.size < b.size;
        case SyncColumn::LastModified:
            if ((a.flags & kReadable) != (b.flags & kReadable))
                return !(a.flags & kReadable);
            return a.date < b.date;
        case SyncColumn::Direction: {
            const bool aDrive = a.flags & kFromDrive;
            const bool bDrive = b.flags & kFromDrive;
            return aDrive != bDrive && (aDrive ? directionOrder < 0 : directionOrder > 0);
        }
        }
        return false;
    };
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (order == Qt::AscendingOrder)
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
    else
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [&](const CompactRow& a, const CompactRow& b) { return less(b, a); });
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SyncRowModel::SetColours(QColor fromDrive, QColor fromComputer)
{
    m_clrDrive = fromDrive;
    m_clrComputer = fromComputer;
}

void SyncRowModel::SetRoots(const std::filesystem::path& computer, const std::filesystem::path& drive)
{
    if (WithSeparator(computer) == m_strComputerRoot && WithSeparator(drive) == m_strDriveRoot)
        return;
    Clear();  // the rows held are relative to the old roots
    m_strComputerRoot = WithSeparator(computer);
    m_strDriveRoot = WithSeparator(drive);
}

void SyncRowModel::Clear()
{
    beginResetModel();
    std::vector<CompactRow>().swap(m_rows);
    std::string().swap(m_strText);
    std::vector<ItemData>().swap(m_vecOutside);
    endResetModel();
}

void SyncRowModel::Append(std::vector<ItemData>&& batch)
{
    if (batch.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
    m_rows.reserve(m_rows.size() + batch.size());
    for (ItemData& item : batch) {
        CompactRow row;
        row.flags = static_cast<std::uint8_t>((item.sourceUsb ? kFromDrive : 0) | (item.check ? kChecked : 0) |
                                              (item.synced ? kSynced : 0) | (item.readable ? kReadable : 0) |
                                              (item.dstScanned ? kDstScanned : 0) | (item.dstExists ? kDstExists : 0) |
                                              (item.problem.empty() ? 0 : kProblem));
        row.size = item.size;
        row.date = item.date;
        row.dstSize = item.dstSize;
        row.dstTimeNs = item.dstTimeNs;
        // A row the scanner made lies below its root with the same path on
        // the other side and its name at the end, and its texts are those of
        // its size and date; anything else is kept whole.
        const std::string& sourceRoot = item.sourceUsb ? m_strDriveRoot : m_strComputerRoot;
        const std::string& targetRoot = item.sourceUsb ? m_strComputerRoot : m_strDriveRoot;
        const std::string& path = item.path.native();
        const std::string_view relative =
            StartsWith(path, sourceRoot) ? std::string_view(path).substr(sourceRoot.size()) : std::string_view();
        const std::string& target = item.dstPath.native();
        // A problem row keeps its reason, so it is held whole (they are few).
        const bool compact = item.problem.empty() && !sourceRoot.empty() && !relative.empty() &&
                             relative.size() >= item.name.size() &&
                             relative.substr(relative.size() - item.name.size()) == item.name &&
                             target.size() == targetRoot.size() + relative.size() && StartsWith(target, targetRoot) &&
                             std::string_view(target).substr(targetRoot.size()) == relative &&
                             m_strText.size() + relative.size() <= UINT32_MAX;
        if (compact) {
            row.textAt = static_cast<std::uint32_t>(m_strText.size());
            row.textSize = static_cast<std::uint32_t>(relative.size());
            row.nameAt = static_cast<std::uint32_t>(relative.size() - item.name.size());
            m_strText += relative;
        } else {
            row.flags |= kOutside;
            row.textAt = static_cast<std::uint32_t>(m_vecOutside.size());
            m_vecOutside.push_back(std::move(item));
        }
        m_rows.push_back(row);
    }
    endInsertRows();
}

ItemData SyncRowModel::Row(int row) const
{
    return Expand(m_rows[static_cast<std::size_t>(row)]);
}

std::vector<ItemData> SyncRowModel::Rows() const
{
    std::vector<ItemData> rows;
    rows.reserve(m_rows.size());
    for (const CompactRow& row : m_rows)
        rows.push_back(Expand(row));
    return rows;
}

std::string SyncRowModel::SourcePath(int row) const
{
    return FullPath(m_rows[static_cast<std::size_t>(row)], true);
}

bool SyncRowModel::FromDrive(int row) const
{
    return m_rows[static_cast<std::size_t>(row)].flags & kFromDrive;
}

void SyncRowModel::TakeRunResult(const std::vector<ItemData>& ran)
{
    // Rows are matched by source path: the run works on a copy made just
    // before it, in the same order, but a path match keeps this safe.
    for (std::size_t i = 0; i < m_rows.size() && i < ran.size(); ++i)
        if (ran[i].synced && ran[i].path.native() == FullPath(m_rows[i], true))
            m_rows[i].flags |= kSynced;
    // Remove from the last to the first, in runs, so the view sees few removals.
    for (int last = rowCount() - 1; last >= 0;) {
        if (!(m_rows[static_cast<std::size_t>(last)].flags & kSynced)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && (m_rows[static_cast<std::size_t>(first - 1)].flags & kSynced))
            --first;
        beginRemoveRows({}, first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }
    // The text of removed rows stays until the list is rebuilt.
}

std::uint32_t SyncRowModel::CheckedFromDrive() const
{
    return static_cast<std::uint32_t>(std::count_if(m_rows.begin(), m_rows.end(), [](const CompactRow& r) {
        return (r.flags & kChecked) && (r.flags & kFromDrive) && !(r.flags & kProblem);
    }));
}

std::uint32_t SyncRowModel::CheckedFromComputer() const
{
    return static_cast<std::uint32_t>(std::count_if(m_rows.begin(), m_rows.end(), [](const CompactRow& r) {
        return (r.flags & kChecked) && !(r.flags & kFromDrive) && !(r.flags & kProblem);
    }));
}

}  // namespace halvex::app
