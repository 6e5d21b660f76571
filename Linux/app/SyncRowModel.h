#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include <cstdint>
#include <vector>

#include "sync/ItemData.h"
#include "sync/SyncSort.h"

namespace halvex::app {

// The sync list's rows for the view: name with its check box, size, date and
// direction, each row in its direction's colour. The window owns the rows;
// scan results arrive in batches so that a long list costs one insertion per
// batch, not one per row.
class SyncRowModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit SyncRowModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;

    void SetColours(QColor fromDrive, QColor fromComputer);
    void Clear();
    void Append(std::vector<ItemData>&& batch);
    const std::vector<ItemData>& Rows() const { return m_rows; }
    const ItemData& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    void SetChecked(int row, bool checked);
    // Takes the synced flags of a run's copy of the rows (same order) and
    // removes the rows that were synced; the others keep their check marks.
    void TakeRunResult(const std::vector<ItemData>& ran);

    // Checked rows per direction.
    std::uint32_t CheckedFromDrive() const;
    std::uint32_t CheckedFromComputer() const;

signals:
    // A check box was changed by the user.
    void checksChanged();

private:
    std::vector<ItemData> m_rows;
    QColor m_clrDrive;
    QColor m_clrComputer;
};

}  // namespace halvex::app
