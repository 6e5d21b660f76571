#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sync/ItemData.h"

namespace halvex::app {

// The sync list's rows for the view: name with its check box and the icon of
// its file type, size, date and direction, each row in its direction's
// colour. A list may hold a hundred thousand rows, so a row holds only its
// data: the path below its folder of the pair (in one text store for all
// rows), size, date and flags. The texts of the columns are made when a row
// is painted, and icons are shared by every file of a type. Scan results
// arrive in batches: a long list costs one insertion per batch.
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
    // The folders of the pair; rows below them are held by their relative
    // path. Other roots empty the list.
    void SetRoots(const std::filesystem::path& computer, const std::filesystem::path& drive);
    void Clear();
    void Append(std::vector<ItemData>&& batch);
    // A row as the sync engine takes it, made on request.
    ItemData Row(int row) const;
    // Every row, for a run.
    std::vector<ItemData> Rows() const;
    std::string SourcePath(int row) const;
    bool FromDrive(int row) const;
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
    struct CompactRow {
        std::uint32_t textAt = 0;  // the relative path in m_strText, or an index into m_vecOutside
        std::uint32_t textSize = 0;
        std::uint32_t nameAt = 0;  // where the file name begins within the path
        std::uint8_t flags = 0;
        std::uint64_t size = 0;
        std::int64_t date = 0;
        // The destination as the scan saw it: the run replaces only that.
        std::uint64_t dstSize = 0;
        std::int64_t dstTimeNs = 0;
    };

    std::string_view RelativeOf(const CompactRow& row) const;
    std::string_view NameOf(const CompactRow& row) const;
    std::string FullPath(const CompactRow& row, bool source) const;
    ItemData Expand(const CompactRow& row) const;
    QIcon IconFor(std::string_view name) const;

    std::vector<CompactRow> m_rows;
    std::string m_strText;               // the relative paths of every row, end to end
    std::vector<ItemData> m_vecOutside;  // rows whose paths are not below the roots
    std::string m_strComputerRoot;       // with a trailing "/"
    std::string m_strDriveRoot;
    std::string m_strDateFormat;
    std::string m_strTimeFormat;
    QString m_strFromDrive;  // the direction column's texts
    QString m_strFromComputer;
    QString m_strProblem;
    QColor m_clrDrive;
    QColor m_clrComputer;
    mutable QHash<QString, QIcon> m_icons;  // by lower-case extension
};

}  // namespace halvex::app
