#pragma once

#include <chrono>

#include <QString>

#include "platform/runcontrol.h"

class QLabel;

namespace app {

// Shows a long run's progress on the status line ("コピー中 3 / 10: /music/a.mp3") and lets
// the window repaint: at most once per step, it repaints the line and handles the waiting
// events (a close request among them), so the window keeps answering the desktop. User input
// is taken away from the window meanwhile, but for Escape, which stops the run at its next
// file.
class StatusProgress final : public platform::IRunControl
{
public:
    StatusProgress(QLabel &statusLine, QString verb, std::chrono::milliseconds step);

    void progress(const platform::RunProgress &progress) override;
    bool stopRequested() override { return m_stopRequested; }

    // The line's text for a report, its path shown as the lists show names.
    static QString text(const QString &verb, const platform::RunProgress &progress);

private:
    QLabel &m_statusLine;
    QString m_verb;
    std::chrono::milliseconds m_step;
    std::chrono::steady_clock::time_point m_lastShown;
    bool m_shown = false;
    bool m_stopRequested = false;
};

} // namespace app
