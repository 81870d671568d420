#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "lists/row.h"

class QAbstractItemDelegate;
class QAbstractItemView;
class QItemSelectionModel;
class QLabel;
class QListView;
class QStackedLayout;
class QTreeView;
class RowModel;

// One list of the main window: a report view and a list/icon view over one row model and
// one selection model, shown one at a time. Every event of either view reaches the window
// with this object as its sender, whatever style is showing.
class FileListView final : public QWidget
{
    Q_OBJECT

public:
    enum class ViewStyle { Report, Icon, SmallIcon, List };
    enum class Role { ResultList, WorkList };

    FileListView(Role role, QWidget *parent = nullptr);

    Role role() const { return m_role; }
    RowModel *model() const { return m_model; }
    QTreeView *reportView() const { return m_report; }
    QListView *iconView() const { return m_icons; }
    QAbstractItemView *currentView() const;
    QItemSelectionModel *selectionModel() const { return m_selection; }

    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return m_style; }

    int rowCount() const;
    const lists::Row &row(int index) const;

    // Selection: every row has a selected flag.
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    bool hasSelection() const;
    // The selected row with the lowest index, or -1.
    int firstSelectedRow() const;
    std::vector<bool> selectionFlags() const;
    void setSelectionFlags(const std::vector<bool> &flags);
    void selectAll();
    void invertSelection();

    // Row changes that keep the selection flags with their rows.
    void appendRows(std::vector<lists::Row> rows);
    void removeSelectedRows();
    void clear();
    void sortRows(lists::Column sortKey, int sortOrder);

    // While drawing is suspended the list paints nothing new: it shows a picture of itself
    // as it looked when the suspension began (also where a window that covered it goes
    // away), and what changed meanwhile shows when drawing resumes. Mouse and keys still
    // reach the views beneath.
    void setDrawingSuspended(bool suspended);
    bool isDrawingSuspended() const;

    // Whether a drag from `source` may be dropped here; set by the window for the work list.
    std::function<bool(QObject *source)> acceptsDropFrom;

Q_SIGNALS:
    void clicked();
    void doubleClicked();
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);
    void popupRequested(const QPoint &globalPos);
    void headerClicked(int column);
    void dropped(QObject *source);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setUpView(QAbstractItemView *view);
    void applyDragAndDrop(QAbstractItemView *view);
    // The list that owns the view a drag came from, or null.
    static QObject *dragSource(QObject *eventSource);

    Role m_role;
    RowModel *m_model;
    QItemSelectionModel *m_selection;
    QTreeView *m_report;
    QListView *m_icons;
    QStackedLayout *m_stack;
    QLabel *m_frozen; // the picture shown while drawing is suspended
    QAbstractItemDelegate *m_blankIconDelegate;
    QAbstractItemDelegate *m_smallIconDelegate;
    QAbstractItemDelegate *m_plainDelegate;
    ViewStyle m_style = ViewStyle::Report;
};
