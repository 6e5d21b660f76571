#include "SyncRowModel.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

#include <algorithm>

#include "strings/KXStrings.h"
#include "sync/SyncProblem.h"

namespace halvex::app {

namespace {

QString Qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

SyncRowModel::SyncRowModel(QObject* parent)
    : QAbstractTableModel(parent), m_clrDrive(127, 0, 0), m_clrComputer(0, 0, 200)
{
}

int SyncRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SyncRowModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant SyncRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ItemData& row = Row(index.row());
    const auto column = static_cast<SyncColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case SyncColumn::Name: return Qs(row.name);
        case SyncColumn::Size: return Qs(row.sizeText);
        case SyncColumn::LastModified: return Qs(row.dateText);
        case SyncColumn::Direction: return Qs(DirectionText(row));
        }
        break;
    case Qt::ToolTipRole:
        // A row that is not copied says why wherever the pointer rests.
        if (!row.problem.empty())
            return Qs(row.path.string() + "\n\n" + SyncProblemText(row));
        return column == SyncColumn::Name ? Qs(row.path.string()) : QVariant();
    case Qt::CheckStateRole:
        if (column == SyncColumn::Name)
            return row.check ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::DecorationRole:
        if (column == SyncColumn::Name) {
            // One shared icon: asking the desktop for each of many files would stall the list.
            static const QIcon fileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
            return fileIcon;
        }
        break;
    case Qt::ForegroundRole:
        return row.sourceUsb ? m_clrDrive : m_clrComputer;
    case Qt::TextAlignmentRole:
        if (column == SyncColumn::Size)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (column == SyncColumn::Direction)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        break;
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
    if (row < 0 || row >= rowCount() || m_rows[static_cast<std::size_t>(row)].check == checked)
        return;
    m_rows[static_cast<std::size_t>(row)].check = checked;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

QVariant SyncRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    static const char* const keys[] = {"name", "size", "last_modified", "sync_direction"};
    if (role == Qt::DisplayRole && section >= 0 && section < 4)
        return Qs(KXStrings::GetString(keys[section]));
    if (role == Qt::TextAlignmentRole)
        return section == 1 ? int(Qt::AlignRight | Qt::AlignVCenter)
                            : section == 3 ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
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

void SyncRowModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column > 3)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    SortRows(m_rows, static_cast<SyncColumn>(column),
             order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SyncRowModel::SetColours(QColor fromDrive, QColor fromComputer)
{
    m_clrDrive = fromDrive;
    m_clrComputer = fromComputer;
}

void SyncRowModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void SyncRowModel::Append(std::vector<ItemData>&& batch)
{
    if (batch.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
    endInsertRows();
}

void SyncRowModel::TakeRunResult(const std::vector<ItemData>& ran)
{
    // Rows are matched by source path: the run works on a copy made just
    // before it, in the same order, but a path match keeps this safe.
    for (std::size_t i = 0; i < m_rows.size() && i < ran.size(); ++i)
        if (ran[i].synced && ran[i].path == m_rows[i].path)
            m_rows[i].synced = true;
    // Remove from the last to the first, in runs, so the view sees few removals.
    for (int last = rowCount() - 1; last >= 0;) {
        if (!m_rows[static_cast<std::size_t>(last)].synced) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && m_rows[static_cast<std::size_t>(first - 1)].synced)
            --first;
        beginRemoveRows({}, first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }
}

std::uint32_t SyncRowModel::CheckedFromDrive() const
{
    return static_cast<std::uint32_t>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const ItemData& r) { return r.check && r.sourceUsb && r.problem.empty(); }));
}

std::uint32_t SyncRowModel::CheckedFromComputer() const
{
    return static_cast<std::uint32_t>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const ItemData& r) { return r.check && !r.sourceUsb && r.problem.empty(); }));
}

}  // namespace halvex::app
