#pragma once

#include <functional>

#include <QFrame>
#include <QPoint>
#include <QPointer>

#include "widgets/alignlayout.h"

// The split bar beside an aligned control, its host: dragging the bar with the left button
// shows a line that follows the pointer over the form, and the release gives the host its
// new height or width.
class TSplitPanel : public QFrame
{
    Q_OBJECT

public:
    using TAlign = widgets::TAlign;

    // `owner` is the bar's parent; the drag line is drawn over the form it lies on.
    explicit TSplitPanel(QWidget *owner);
    ~TSplitPanel() override;

    TAlign Align() const { return m_align; }
    // Aligns the bar, and its host with it, to an edge, the bar 8 pixels beyond the host's
    // inner edge so that the alignment puts it right after the host. alClient is refused
    // with a message.
    void SetAlign(TAlign value);

    QWidget *HostComponent() const { return m_host; }
    // Takes a host (null: none); a host aligned alNone or alClient becomes alLeft, and the
    // bar takes the host's alignment.
    void SetHostComponent(QWidget *host);

    // The form on which the bar lies.
    QWidget *OwnerForm() const { return window(); }
    bool isSizing() const { return m_sizing; }

    // Called with the bar after each completed drag.
    std::function<void(QObject *Sender)> OnEndSizing;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // A point in the bar's coordinates, in the coordinates of another widget.
    QPoint ConvertPoint(const QWidget *target, const QPoint &point) const;
    // Places the drag line at the current drag position.
    void DrawSizingLine();
    void endDrag();

    TAlign m_align = TAlign::alNone;
    QPointer<QWidget> m_host;
    bool m_sizing = false;
    bool m_horizontalBar = false;
    QPoint m_sizingPos;
    QPointer<QWidget> m_line;
};
