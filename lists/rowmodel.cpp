#include "lists/rowmodel.h"

#include <QMimeData>

#include "platform/textcodec.h"

RowModel::RowModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

int RowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : lists::ColumnCount;
}

QString RowModel::cellText(const lists::Row &row, lists::Column column)
{
    const std::string_view text = lists::shownBytes(row, column);
    // Invisible characters show as marks: a user must see that bytes are there (perhaps of
    // another code page), and none may reorder or hide the text around it.
    if (lists::columnSpec(column).subItem == lists::SubItem::Path)
        return QString::fromStdString(platform::shownPath(text));
    return QString::fromStdString(platform::shownTagText(text));
}

QVariant RowModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    if (index.column() >= lists::ColumnCount)
        return {};
    return cellText(row(index.row()), static_cast<lists::Column>(index.column()));
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= lists::ColumnCount)
        return {};
    return QString::fromUtf8(lists::Columns[static_cast<std::size_t>(section)].caption);
}

Qt::ItemFlags RowModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled
        | Qt::ItemNeverHasChildren;
}

QStringList RowModel::mimeTypes() const
{
    return {QString::fromLatin1(RowDragMimeType)};
}

QMimeData *RowModel::mimeData(const QModelIndexList &) const
{
    // The drop copies every selected row of the result list, whichever were dragged, so
    // the drag carries nothing but its kind.
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(RowDragMimeType), QByteArray());
    return mime;
}

Qt::DropActions RowModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

void RowModel::appendRows(std::vector<lists::Row> rows)
{
    if (rows.empty())
        return;
    const int at = rowCount();
    // Grow by a quarter rather than doubling: a list of 100,000 rows would otherwise carry
    // up to as many unused row slots.
    const std::size_t needed = m_rows.size() + rows.size();
    if (needed > m_rows.capacity())
        m_rows.reserve(std::max(needed, m_rows.size() + m_rows.size() / 4));
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(rows.size()) - 1);
    m_rows.insert(
        m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void RowModel::removeFlaggedRows(const std::vector<bool> &remove)
{
    beginResetModel();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (i < remove.size() && remove[i])
            continue;
        if (kept != i)
            m_rows[kept] = std::move(m_rows[i]);
        ++kept;
    }
    m_rows.resize(kept);
    endResetModel();
}

void RowModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void RowModel::redecode()
{
    if (m_rows.empty())
        return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, lists::ColumnCount - 1));
}

void RowModel::reorder(const std::vector<std::size_t> &order)
{
    Q_EMIT layoutAboutToBeChanged();
    std::vector<lists::Row> sorted;
    sorted.reserve(m_rows.size());
    for (const std::size_t old : order)
        sorted.push_back(std::move(m_rows[old]));
    m_rows = std::move(sorted);
    // Persistent indexes (the views' current row among them) go along with their rows.
    const QModelIndexList from = persistentIndexList();
    if (!from.isEmpty()) {
        std::vector<int> newRow(order.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            newRow[order[i]] = static_cast<int>(i);
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex &old : from)
            to.append(index(newRow[static_cast<std::size_t>(old.row())], old.column()));
        changePersistentIndexList(from, to);
    }
    Q_EMIT layoutChanged();
}

void RowModel::setSubItem(int index, lists::SubItem item, std::string text)
{
    m_rows[static_cast<std::size_t>(index)].subItem(item) = std::move(text);
    // The path's column is the file name, which a rename changes.
    for (const lists::ColumnEntry &entry : lists::Columns) {
        if (entry.subItem == item) {
            const int column = static_cast<int>(entry.column);
            Q_EMIT dataChanged(this->index(index, column), this->index(index, column));
        }
    }
}

void RowModel::setSubItems(int index, const lists::CellChanges &changes)
{
    for (const auto &[item, text] : changes)
        setSubItem(index, item, text);
}
