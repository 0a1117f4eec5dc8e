#pragma once
// The Ads window's list: every row of the chosen search, of which the filter shows some, in the chosen order.

#include "ads/adrules.h"

#include <QAbstractTableModel>

#include <vector>

namespace ads {

class AdsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<AdRow> rows);
    void setFilter(const AdFilter& filter);
    // column defaultOrder (-1) for the merged page's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Filters and sorts again, after rows changed in a way the filter may see.
    void refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The row shown at that place of the list.
    AdRow& shownRow(int place) { return m_rows[size_t(m_order[size_t(place)])]; }
    const std::vector<AdRow>& rows() const { return m_rows; }
    // Indexes into rows(), in the list's order.
    const std::vector<int>& order() const { return m_order; }
    // The place in the list of the ad with that key, -1 when it isn't shown.
    int placeOf(const std::string& key) const;
    // The rows at those places changed in what the list shows.
    void rowsChanged(int first, int last);

private:
    std::vector<AdRow> m_rows;
    std::vector<int> m_order;
    AdFilter m_filter;
    int m_column = defaultOrder;
    bool m_descending = false;
};

} // namespace ads
