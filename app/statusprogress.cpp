#include "app/statusprogress.h"

#include <utility>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>

#include "platform/scopeguard.h"
#include "platform/textcodec.h"

namespace app {

StatusProgress::StatusProgress(QLabel &statusLine, QString verb, std::chrono::milliseconds step)
    : m_statusLine(statusLine)
    , m_verb(std::move(verb))
    , m_step(step)
{ }

QString StatusProgress::text(const QString &verb, const platform::RunProgress &progress)
{
    return QStringLiteral("%1 %2 / %3: %4")
        .arg(verb)
        .arg(progress.done)
        .arg(progress.total)
        .arg(QString::fromStdString(platform::shownPath(progress.path)));
}

void StatusProgress::progress(const platform::RunProgress &progress)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_lastShown < m_step)
        return;
    m_shown = true;
    m_lastShown = now;
    m_statusLine.setText(text(m_verb, progress));
    m_statusLine.repaint();
    QCoreApplication::instance()->installEventFilter(this);
    const platform::ScopeGuard removed(
        [this] { QCoreApplication::instance()->removeEventFilter(this); });
    QCoreApplication::processEvents();
}

bool StatusProgress::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            m_stopRequested = true;
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
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

} // namespace app
