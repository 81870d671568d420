#include "widgets/URLLabel.h"

#include <QCursor>
#include <QMouseEvent>

#include "platform/modal.h"
#include "widgets/cursortable.h"

TURLLabel::TURLLabel(QWidget *owner)
    : QLabel(owner)
{
    // Every construction installs the hand again; the table keeps one entry for it.
    widgets::installCursor(widgets::crHandPoint, widgets::handPointCursor());
    m_hotColor = 0xFFFF00;
    m_pushedColor = 0x0000FF;
    m_hotTrack = true;
    setCursor(widgets::cursorOf(widgets::crHandPoint));
    setTextFormat(Qt::PlainText);
    SetFontColor(0);
}

QColor TURLLabel::toQColor(TColor c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
        static_cast<int>((c >> 16) & 0xFF));
}

void TURLLabel::SetFontColor(TColor value)
{
    m_fontColor = value;
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, toQColor(value));
    setPalette(palette);
    update();
}

void TURLLabel::SetHotTrack(bool value)
{
    if (value == m_hotTrack)
        return;
    m_hotTrack = value;
    update();
}

void TURLLabel::SetHotColor(TColor value)
{
    if (value == m_hotColor)
        return;
    m_hotColor = value;
    update();
}

void TURLLabel::SetPushedColor(TColor value)
{
    if (value == m_pushedColor)
        return;
    m_pushedColor = value;
    update();
}

void TURLLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    if (m_hotTrack) {
        // A second enter without a leave keeps the colour saved at the first.
        if (!m_tracking)
            m_normalColor = m_fontColor;
        m_tracking = true;
        SetFontColor(m_hotColor);
    }
}

void TURLLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    endTracking();
}

void TURLLabel::hideEvent(QHideEvent *event)
{
    // Hidden with the pointer on it (its box closed by a key), the label gets no leave: it
    // takes its normal colour back here, so the next showing starts in it.
    QLabel::hideEvent(event);
    endTracking();
}

void TURLLabel::endTracking()
{
    if (!m_tracking)
        return;
    m_tracking = false;
    SetFontColor(m_normalColor);
}

void TURLLabel::mousePressEvent(QMouseEvent *event)
{
    QLabel::mousePressEvent(event);
    if (m_hotTrack) {
        if (!m_tracking)
            m_normalColor = m_fontColor;
        m_tracking = true;
        SetFontColor(m_pushedColor);
    }
    // Opened at the press, for any button: a press dragged off the label still opens it.
    // The desktop's answer is not looked at.
    if (Executable)
        platform::modal().spawn(
            {"xdg-open", text().toStdString()}, std::string(), QString(), QString());
}

void TURLLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (m_hotTrack) {
        if (rect().contains(mapFromGlobal(QCursor::pos())))
            SetFontColor(m_hotColor);
        else
            endTracking();
    }
}
