#include "widgets/inputshield.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace widgets {

InputShield::InputShield(std::function<void()> onEscape)
    : m_onEscape(std::move(onEscape))
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputShield::~InputShield()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputShield::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && m_onEscape)
            m_onEscape();
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace widgets
