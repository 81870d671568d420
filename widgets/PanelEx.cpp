#include "widgets/PanelEx.h"

#include <QGroupBox>

namespace {

// Panels and group boxes hold controls; buttons, edits and lists are set but never entered.
bool isContainer(const QWidget *widget)
{
    const QMetaObject *type = widget->metaObject();
    return type == &QWidget::staticMetaObject || type == &QFrame::staticMetaObject
        || qobject_cast<const QGroupBox *>(widget);
}

} // namespace

TPanelEx::TPanelEx(QWidget *parent)
    : QFrame(parent)
{ }

void TPanelEx::setEnabled(bool enabled)
{
    // The panel's own flag, whatever its parent's state is.
    if (testAttribute(Qt::WA_ForceDisabled) == !enabled)
        return;
    QFrame::setEnabled(enabled);
    if (UpdateParent) {
        if (auto *panel = qobject_cast<TPanelEx *>(parentWidget())) {
            panel->setEnabled(enabled);
        } else if (QWidget *parent = parentWidget()) {
            parent->setEnabled(enabled);
            if (qobject_cast<QGroupBox *>(parent))
                parent->update();
        }
    }
    SetChildrenEnabled(this, enabled);
}

void TPanelEx::SetChildrenEnabled(QWidget *container, bool enabled)
{
    for (QObject *object : container->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow())
            continue;
        // A nested panel carries the state on by itself.
        if (auto *panel = qobject_cast<TPanelEx *>(child)) {
            panel->setEnabled(enabled);
            continue;
        }
        child->setEnabled(enabled);
        if (qobject_cast<QGroupBox *>(child))
            child->update();
        if (isContainer(child))
            SetChildrenEnabled(child, enabled);
    }
}
