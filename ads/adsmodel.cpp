#include "ads/adsmodel.h"

#include <QBrush>
#include <QDateTime>
#include <QFont>

namespace ads {

namespace {

QString widgetText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void AdsModel::setRows(std::vector<AdRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_order = shownRows(m_rows, m_filter, m_column, m_descending);
    endResetModel();
}

void AdsModel::setFilter(const AdFilter& filter)
{
    m_filter = filter;
    refresh();
}

void AdsModel::sort(int column, Qt::SortOrder order)
{
    m_column = column;
    m_descending = order == Qt::DescendingOrder;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> keptRows;
    keptRows.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        keptRows.push_back(m_order[size_t(index.row())]);
    sortRows(m_order, m_rows, m_column, m_descending);
    if (!before.isEmpty()) {
        // The selection and the current row follow their ads to their new places.
        std::vector<int> placeOfRow(m_rows.size(), -1);
        for (size_t place = 0; place < m_order.size(); ++place)
            placeOfRow[size_t(m_order[place])] = int(place);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(placeOfRow[size_t(keptRows[size_t(i)])], before[i].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void AdsModel::refresh()
{
    beginResetModel();
    m_order = shownRows(m_rows, m_filter, m_column, m_descending);
    endResetModel();
}

int AdsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int AdsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ads::columnCount;
}

QVariant AdsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_order.size()))
        return {};
    const AdRow& row = m_rows[size_t(m_order[size_t(index.row())])];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case StarColumn:
            return row.starred ? QStringLiteral("★") : QString();
        case TitleColumn:
            return row.isNew ? QStringLiteral("NEW  ") + widgetText(row.title()) : widgetText(row.title());
        case PriceColumn:
            return row.oldPrice().empty() ? widgetText(row.price())
                                          : widgetText(row.price()) + QStringLiteral("  (was ")
                    + widgetText(row.oldPrice()) + QStringLiteral(")");
        case PlaceColumn:
            return widgetText(row.place());
        case CityColumn:
            return widgetText(row.city());
        case FirstSeenColumn:
            return row.firstSeen ? QDateTime::fromSecsSinceEpoch(row.firstSeen).toString("yyyy-MM-dd HH:mm")
                                 : QString();
        default:
            return {};
        }
    case Qt::ToolTipRole:
        if (column == TitleColumn && !row.note().empty())
            return widgetText(row.note());
        if (column == PriceColumn && !row.oldPrice().empty())
            return QStringLiteral("Cheaper: it was ") + widgetText(row.oldPrice());
        return {};
    case Qt::FontRole:
        if (row.isNew && column == TitleColumn) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ForegroundRole:
        if (row.hidden)
            return QBrush(Qt::gray);
        if (column == PriceColumn && !row.oldPrice().empty())
            return QBrush(QColor(0x1b, 0x7a, 0x2e));
        if (column == TitleColumn && row.isNew)
            return QBrush(QColor(0xc6, 0x28, 0x28));
        return {};
    case Qt::TextAlignmentRole:
        if (column == PriceColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant AdsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const titles[] = {"★", "Title", "Price", "Place", "City", "First Seen"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ads::columnCount)
        return {};
    return QString::fromUtf8(titles[section]);
}

int AdsModel::placeOf(const std::string& key) const
{
    for (size_t place = 0; place < m_order.size(); ++place)
        if (m_rows[size_t(m_order[place])].key() == key)
            return int(place);
    return -1;
}

void AdsModel::rowsChanged(int first, int last)
{
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, ads::columnCount - 1));
}

} // namespace ads
