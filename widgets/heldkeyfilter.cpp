#include "widgets/heldkeyfilter.h"

#include <QKeyEvent>

HeldKeyFilter::HeldKeyFilter(QObject *parent)
    : QObject(parent)
{ }

bool HeldKeyFilter::isHeldCommandKey(const QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    if (!key->isAutoRepeat())
        return false;
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter
        || key->key() == Qt::Key_Escape;
}

bool HeldKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (isHeldCommandKey(event)) {
        // An accepted override keeps the repeat from every shortcut as well.
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
