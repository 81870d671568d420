#pragma once

#include <cstdint>

#include <QLabel>

// Colours as the program keeps them: 0x00BBGGRR, red in the low byte ($FF0000 is blue).
using TColor = std::uint32_t;

// A label that behaves like a hyperlink: a pointing hand over it, its text in HotColor
// while the pointer is over it and in PushedColor while a button is held on it, and, when
// Executable, its caption handed to the desktop at the press of any button.
class TURLLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TURLLabel(QWidget *owner);

    bool Executable = false;

    bool HotTrack() const { return m_hotTrack; }
    void SetHotTrack(bool value);
    TColor HotColor() const { return m_hotColor; }
    void SetHotColor(TColor value);
    TColor PushedColor() const { return m_pushedColor; }
    void SetPushedColor(TColor value);
    TColor NormalColor() const { return m_normalColor; }

    // The font colour as it is drawn.
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);

    static QColor toQColor(TColor colour);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Puts the normal colour back after hot tracking or a press.
    void endTracking();

    // The text shows the hot or pushed colour, the normal one saved.
    bool m_tracking = false;
    bool m_hotTrack = true;
    TColor m_normalColor = 0;
    TColor m_hotColor = 0xFFFF00;
    TColor m_pushedColor = 0x0000FF;
    TColor m_fontColor = 0;
};
