#pragma once

#include <QHeaderView>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace halvex::app {

// The sort of the backup windows' file lists: a click on another column sorts
// the rows by it, greatest first; a second click on the same column shows
// them the other way round.
class BackupListSort {
public:
    template <class Row>
    void Click(int column, std::vector<Row>& rows, bool (*compare)(const Row&, const Row&), QHeaderView* header)
    {
        if (column == m_column) {
            m_reversed = !m_reversed;
        } else {
            std::stable_sort(rows.begin(), rows.end(), compare);
            m_column = column;
            m_reversed = false;
        }
        header->setSortIndicatorShown(true);
        header->setSortIndicator(m_column, m_reversed ? Qt::AscendingOrder : Qt::DescendingOrder);
    }

    // A list filled anew is in no column's order.
    void Clear(QHeaderView* header)
    {
        m_column = -1;
        m_reversed = false;
        header->setSortIndicatorShown(false);
    }

    // The row shown at a place of the list.
    template <class Row>
    const Row& Shown(const std::vector<Row>& rows, std::size_t place) const
    {
        return rows[m_reversed ? rows.size() - 1 - place : place];
    }

private:
    int m_column = -1;
    bool m_reversed = false;
};

}  // namespace halvex::app
