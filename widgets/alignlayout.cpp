#include "widgets/alignlayout.h"

#include <algorithm>

#include <QWidget>

namespace widgets {

AlignLayout::AlignLayout(QWidget *parent)
    : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

AlignLayout::~AlignLayout()
{
    for (Entry &entry : m_entries)
        delete entry.item;
}

void AlignLayout::addWidget(QWidget *widget, TAlign alignment)
{
    addChildWidget(widget);
    m_entries.push_back({new QWidgetItem(widget), alignment});
    invalidate();
}

void AlignLayout::setAlign(QWidget *widget, TAlign alignment)
{
    for (Entry &entry : m_entries) {
        if (entry.item->widget() == widget) {
            entry.align = alignment;
            invalidate();
            return;
        }
    }
    addWidget(widget, alignment);
}

TAlign AlignLayout::alignOf(const QWidget *widget) const
{
    for (const Entry &entry : m_entries) {
        if (entry.item->widget() == widget)
            return entry.align;
    }
    return TAlign::alNone;
}

AlignLayout *AlignLayout::ofParent(const QWidget *widget)
{
    QWidget *parent = widget ? widget->parentWidget() : nullptr;
    return parent ? qobject_cast<AlignLayout *>(parent->layout()) : nullptr;
}

void AlignLayout::addItem(QLayoutItem *item)
{
    m_entries.push_back({item, TAlign::alNone});
}

int AlignLayout::count() const
{
    return static_cast<int>(m_entries.size());
}

QLayoutItem *AlignLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? m_entries[static_cast<std::size_t>(index)].item
                                         : nullptr;
}

QLayoutItem *AlignLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem *item = m_entries[static_cast<std::size_t>(index)].item;
    m_entries.erase(m_entries.begin() + index);
    return item;
}

QSize AlignLayout::sizeHint() const
{
    return minimumSize();
}

QSize AlignLayout::minimumSize() const
{
    return QSize(0, 0);
}

void AlignLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    QRect rest = contentsRect();

    // Controls of one alignment, in the order of their position along the edge.
    const auto placed = [this](TAlign alignment) {
        std::vector<QWidget *> widgets;
        for (const Entry &entry : m_entries) {
            QWidget *w = entry.item->widget();
            if (entry.align == alignment && w && !w->isHidden())
                widgets.push_back(w);
        }
        std::stable_sort(widgets.begin(), widgets.end(), [alignment](QWidget *a, QWidget *b) {
            switch (alignment) {
            case TAlign::alTop:
                return a->y() < b->y();
            case TAlign::alBottom:
                return a->y() > b->y();
            case TAlign::alLeft:
                return a->x() < b->x();
            case TAlign::alRight:
                return a->x() > b->x();
            default:
                return false;
            }
        });
        return widgets;
    };

    for (QWidget *w : placed(TAlign::alTop)) {
        const int h = w->height();
        w->setGeometry(rest.left(), rest.top(), rest.width(), h);
        rest.setTop(rest.top() + h);
    }
    for (QWidget *w : placed(TAlign::alBottom)) {
        const int h = w->height();
        w->setGeometry(rest.left(), rest.bottom() + 1 - h, rest.width(), h);
        rest.setBottom(rest.bottom() - h);
    }
    for (QWidget *w : placed(TAlign::alLeft)) {
        const int width = w->width();
        w->setGeometry(rest.left(), rest.top(), width, std::max(0, rest.height()));
        rest.setLeft(rest.left() + width);
    }
    for (QWidget *w : placed(TAlign::alRight)) {
        const int width = w->width();
        w->setGeometry(rest.right() + 1 - width, rest.top(), width, std::max(0, rest.height()));
        rest.setRight(rest.right() - width);
    }
    for (QWidget *w : placed(TAlign::alClient))
        w->setGeometry(
            rest.left(), rest.top(), std::max(0, rest.width()), std::max(0, rest.height()));
}

} // namespace widgets
