#pragma once

#include <vector>

#include <QAbstractTableModel>

#include "lists/row.h"

// The rows of one list, as bytes, shown as a table: the caption in column 0, tag texts
// decoded from the tag code page and names from the file system's encoding, each cell cut at
// its first zero byte. Both lists use this class, one instance each.
class RowModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit RowModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDropActions() const override;

    const std::vector<lists::Row> &rows() const { return m_rows; }
    const lists::Row &row(int index) const { return m_rows[static_cast<std::size_t>(index)]; }

    void appendRows(std::vector<lists::Row> rows);
    // Takes out every row whose flag is set, keeping the order of the others.
    void removeFlaggedRows(const std::vector<bool> &remove);
    void clear();
    // Puts the rows into a new order: `order[i]` is the old index of the new row i.
    void reorder(const std::vector<std::size_t> &order);
    void setSubItem(int index, lists::SubItem item, std::string text);
    void setSubItems(int index, const lists::CellChanges &changes);
    // Tells the views that every cell's text changed (the tag code page did): the rows and
    // the selection stay.
    void redecode();

    // The text a cell shows: decoded, up to the first zero byte.
    static QString cellText(const lists::Row &row, lists::Column column);

private:
    std::vector<lists::Row> m_rows;
};

// The MIME type of a drag of rows out of a list of this program.
inline constexpr char RowDragMimeType[] = "application/x-bellwick-rows";
