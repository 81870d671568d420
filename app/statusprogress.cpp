#include "app/statusprogress.h"

#include <utility>

#include <QCoreApplication>
#include <QLabel>

#include "platform/textcodec.h"
#include "widgets/inputshield.h"

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
    const widgets::InputShield shield([this] { m_stopRequested = true; });
    QCoreApplication::processEvents();
}

} // namespace app
