#pragma once

#include <vector>

#include <QLayout>

namespace widgets {

// The edge to which a control is aligned inside its parent.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Places children by their alignment: top, bottom, left and right ones along their edge in
// the order of their position, each keeping the height (or width) it was last given, and a
// client one in the space that is left. alNone children are left where they are.
class AlignLayout final : public QLayout
{
    Q_OBJECT

public:
    explicit AlignLayout(QWidget *parent = nullptr);
    ~AlignLayout() override;

    void addWidget(QWidget *widget, TAlign alignment);
    void setAlign(QWidget *widget, TAlign alignment);
    TAlign alignOf(const QWidget *widget) const;

    // The alignment layout of a widget's parent, or null.
    static AlignLayout *ofParent(const QWidget *widget);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Entry
    {
        QLayoutItem *item;
        TAlign align;
    };
    std::vector<Entry> m_entries;
};

} // namespace widgets
