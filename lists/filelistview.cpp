#include "lists/filelistview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPixmap>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>

#include "lists/rowmodel.h"
#include "lists/rowsort.h"

namespace {

// Draws the icon and list styles' items, all one size per style (as the views' grids need at
// a million rows): the whole name where it fits, else elided in the middle with the whole
// name as the tooltip. The icon style draws its names under an empty icon cell: neither list
// has images.
class NameDelegate final : public QStyledItemDelegate
{
public:
    NameDelegate(bool blankIcon, QSize itemSize, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_blankIcon(blankIcon)
        , m_itemSize(itemSize)
    { }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return m_itemSize;
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        if (isElided(option, index))
            QToolTip::showText(event->globalPos(), index.data().toString(), view);
        else
            QToolTip::hideText();
        return true;
    }

    bool isElided(const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QWidget *widget = item.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        // The style keeps a few pixels of margin on each side of the text.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return item.fontMetrics.horizontalAdvance(item.text) > textRect.width() - 2 * margin;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!m_blankIcon)
            return;
        static const QIcon blank = [] {
            QPixmap pixmap(32, 32);
            pixmap.fill(Qt::transparent);
            return QIcon(pixmap);
        }();
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = blank;
        option->decorationSize = QSize(32, 32);
    }

private:
    bool m_blankIcon;
    QSize m_itemSize;
};

// The widest an item of the icon and list styles gets; longer names are elided.
constexpr int ItemWidth = 300;

// A view that, while its list's drawing is suspended, lays its items out again only once
// their number has grown by a quarter since the last layout. A scan appends its rows in a
// batch per event step and every layout visits every row, so a layout per batch would cost
// time growing with the square of the rows (minutes at a million). What the view lacks
// meanwhile is not shown; resuming lays it out in full.
template<typename View> class BatchedLayoutView final : public View
{
public:
    using View::View;

    void setLayoutBatched(bool batched)
    {
        m_batched = batched;
        if (!batched && m_skipped) {
            m_skipped = false;
            this->scheduleDelayedItemsLayout();
        }
    }

    void doItemsLayout() override
    {
        const int rows = this->model() ? this->model()->rowCount(this->rootIndex()) : 0;
        if (m_batched && rows >= m_laidOutRows && (rows - m_laidOutRows) * 4 < m_laidOutRows) {
            m_skipped = true;
            return;
        }
        m_laidOutRows = rows;
        View::doItemsLayout();
    }

private:
    bool m_batched = false;
    bool m_skipped = false;
    int m_laidOutRows = 0;
};

using ReportView = BatchedLayoutView<QTreeView>;
using IconView = BatchedLayoutView<QListView>;

} // namespace

FileListView::FileListView(Role role, QWidget *parent)
    : QWidget(parent)
    , m_role(role)
    , m_model(new RowModel(this))
    , m_selection(new QItemSelectionModel(m_model, this))
    , m_report(new ReportView(this))
    , m_icons(new IconView(this))
    , m_stack(new QStackedLayout(this))
    , m_frozen(new QLabel(this))
{
    // Outside the stack, above both views; hidden until drawing is suspended.
    m_frozen->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_frozen->setAutoFillBackground(true);
    m_frozen->setBackgroundRole(QPalette::Base);
    m_frozen->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_frozen->hide();

    m_stack->setContentsMargins(0, 0, 0, 0);

    m_report->setModel(m_model);
    m_report->setSelectionModel(m_selection);
    m_report->setRootIsDecorated(false);
    m_report->setUniformRowHeights(true);
    m_report->setItemsExpandable(false);
    m_report->setExpandsOnDoubleClick(false);
    m_report->setAllColumnsShowFocus(true);
    m_report->setSortingEnabled(false);
    QHeaderView *header = m_report->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    connect(header, &QHeaderView::sectionClicked, this, &FileListView::headerClicked);

    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_selection);
    m_icons->setModelColumn(0);
    m_icons->setUniformItemSizes(true);
    const int line = m_icons->fontMetrics().height();
    m_blankIconDelegate = new NameDelegate(true, QSize(ItemWidth, 32 + line + 8), m_icons);
    m_smallIconDelegate = new NameDelegate(false, QSize(ItemWidth, line + 6), m_icons);
    m_plainDelegate = new NameDelegate(false, QSize(ItemWidth, line + 4), m_icons);

    setUpView(m_report);
    setUpView(m_icons);
    m_stack->addWidget(m_report);
    m_stack->addWidget(m_icons);
    setFocusProxy(m_report);
}

void FileListView::setUpView(QAbstractItemView *view)
{
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &pos) {
        Q_EMIT popupRequested(view->viewport()->mapToGlobal(pos));
    });
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    applyDragAndDrop(view);
}

void FileListView::applyDragAndDrop(QAbstractItemView *view)
{
    // The result list only starts drags; the work list only takes drops.
    const bool isResult = m_role == Role::ResultList;
    view->setDragEnabled(isResult);
    view->setAcceptDrops(!isResult);
    view->viewport()->setAcceptDrops(!isResult);
    view->setDropIndicatorShown(false);
    view->setDragDropMode(isResult ? QAbstractItemView::DragOnly : QAbstractItemView::DropOnly);
    view->setDefaultDropAction(Qt::CopyAction);
}

QAbstractItemView *FileListView::currentView() const
{
    return m_style == ViewStyle::Report ? static_cast<QAbstractItemView *>(m_report) : m_icons;
}

void FileListView::setViewStyle(ViewStyle style)
{
    m_style = style;
    switch (style) {
    case ViewStyle::Report:
        break;
    case ViewStyle::Icon:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setItemDelegate(m_blankIconDelegate);
        break;
    case ViewStyle::SmallIcon:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setItemDelegate(m_smallIconDelegate);
        break;
    case ViewStyle::List:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        m_icons->setItemDelegate(m_plainDelegate);
        break;
    }
    if (style != ViewStyle::Report) {
        // setViewMode switches movement, drag and drop: set them back for this list.
        m_icons->setMovement(QListView::Static);
        m_icons->setResizeMode(QListView::Adjust);
        m_icons->setTextElideMode(Qt::ElideMiddle);
        // One grid cell per item, as wide as the style's items and a little apart.
        const QSize item = m_icons->itemDelegate()->sizeHint(QStyleOptionViewItem(), {});
        m_icons->setGridSize(item + QSize(style == ViewStyle::Icon ? 8 : 4, 0));
        applyDragAndDrop(m_icons);
    }
    const bool hadFocus = currentView()->hasFocus() || m_report->hasFocus() || m_icons->hasFocus();
    m_stack->setCurrentWidget(currentView());
    setFocusProxy(currentView());
    if (hadFocus)
        currentView()->setFocus();
}

int FileListView::rowCount() const
{
    return m_model->rowCount();
}

const lists::Row &FileListView::row(int index) const
{
    return m_model->row(index);
}

bool FileListView::isSelected(int row) const
{
    return m_selection->isSelected(m_model->index(row, 0));
}

void FileListView::setSelected(int row, bool selected)
{
    m_selection->select(m_model->index(row, 0),
        (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
            | QItemSelectionModel::Rows);
}

bool FileListView::hasSelection() const
{
    return m_selection->hasSelection();
}

int FileListView::firstSelectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange &range : m_selection->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

std::vector<bool> FileListView::selectionFlags() const
{
    std::vector<bool> flags(static_cast<std::size_t>(rowCount()), false);
    for (const QItemSelectionRange &range : m_selection->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            flags[static_cast<std::size_t>(r)] = true;
    }
    return flags;
}

void FileListView::setSelectionFlags(const std::vector<bool> &flags)
{
    QItemSelection selection;
    const int lastColumn = lists::ColumnCount - 1;
    const int n = std::min(rowCount(), static_cast<int>(flags.size()));
    for (int r = 0; r < n;) {
        if (!flags[static_cast<std::size_t>(r)]) {
            ++r;
            continue;
        }
        int end = r;
        while (end + 1 < n && flags[static_cast<std::size_t>(end + 1)])
            ++end;
        selection.append(
            QItemSelectionRange(m_model->index(r, 0), m_model->index(end, lastColumn)));
        r = end + 1;
    }
    // Clearing first and selecting after keeps each step linear: replacing a selection of
    // many ranges by another in one call compares every old range with every new one.
    m_selection->clearSelection();
    m_selection->select(selection, QItemSelectionModel::Select);
}

void FileListView::selectAll()
{
    if (rowCount() == 0)
        return;
    m_selection->select(QItemSelection(m_model->index(0, 0),
                            m_model->index(rowCount() - 1, lists::ColumnCount - 1)),
        QItemSelectionModel::ClearAndSelect);
}

void FileListView::invertSelection()
{
    std::vector<bool> flags = selectionFlags();
    flags.flip();
    setSelectionFlags(flags);
}

void FileListView::appendRows(std::vector<lists::Row> rows)
{
    m_model->appendRows(std::move(rows));
}

void FileListView::setDrawingSuspended(bool suspended)
{
    if (suspended == isDrawingSuspended())
        return;
    if (suspended) {
        // A widget whose updates are disabled does not repaint where a window uncovers it,
        // so the picture taken now stands in for the views until drawing resumes.
        m_frozen->setPixmap(grab());
        m_frozen->setGeometry(rect());
        m_frozen->raise();
        m_frozen->show();
        m_report->setUpdatesEnabled(false);
        m_icons->setUpdatesEnabled(false);
        static_cast<ReportView *>(m_report)->setLayoutBatched(true);
        static_cast<IconView *>(m_icons)->setLayoutBatched(true);
    } else {
        static_cast<ReportView *>(m_report)->setLayoutBatched(false);
        static_cast<IconView *>(m_icons)->setLayoutBatched(false);
        m_report->setUpdatesEnabled(true);
        m_icons->setUpdatesEnabled(true);
        m_frozen->hide();
        m_frozen->clear();
    }
}

bool FileListView::isDrawingSuspended() const
{
    return !m_frozen->isHidden();
}

void FileListView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_frozen->setGeometry(rect());
}

void FileListView::removeSelectedRows()
{
    const std::vector<bool> remove = selectionFlags();
    m_selection->clearSelection();
    m_model->removeFlaggedRows(remove);
}

void FileListView::clear()
{
    m_selection->clearSelection();
    m_model->clear();
}

void FileListView::sortRows(lists::Column sortKey, int sortOrder)
{
    const std::vector<std::size_t> order = lists::sortedOrder(m_model->rows(), sortKey, sortOrder);
    const std::vector<bool> before = selectionFlags();
    std::vector<bool> after(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        after[i] = before[order[i]];
    m_selection->clearSelection();
    m_model->reorder(order);
    setSelectionFlags(after);
}

QObject *FileListView::dragSource(QObject *eventSource)
{
    for (QObject *o = eventSource; o; o = o->parent()) {
        if (auto *list = qobject_cast<FileListView *>(o))
            return list;
    }
    return nullptr;
}

bool FileListView::eventFilter(QObject *watched, QEvent *event)
{
    const bool onViewport = watched == m_report->viewport() || watched == m_icons->viewport();
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (onViewport)
            Q_EMIT clicked();
        break;
    case QEvent::MouseButtonDblClick:
        if (onViewport) {
            Q_EMIT doubleClicked();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (!onViewport) {
            auto *key = static_cast<QKeyEvent *>(event);
            Q_EMIT keyPressed(key->key(), key->modifiers());
            if (key->key() == Qt::Key_Delete)
                return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (onViewport) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            QObject *source = dragSource(drag->source());
            const bool accept
                = m_role == Role::WorkList && source && acceptsDropFrom && acceptsDropFrom(source);
            if (accept) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        break;
    case QEvent::Drop:
        if (onViewport) {
            auto *drop = static_cast<QDropEvent *>(event);
            QObject *source = dragSource(drop->source());
            if (m_role == Role::WorkList && source && acceptsDropFrom && acceptsDropFrom(source)) {
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
                Q_EMIT dropped(source);
            } else {
                drop->ignore();
            }
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
