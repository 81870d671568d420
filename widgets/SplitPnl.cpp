#include "widgets/SplitPnl.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

#include "platform/modal.h"
#include "widgets/errorreport.h"

using widgets::AlignLayout;
using widgets::TAlign;

namespace {

constexpr int Thickness = 4;
// How far beyond the host's inner edge the bar is put, so that the alignment, which orders
// controls of one edge by their position, places it right after the host.
constexpr int BeyondHost = 8;

TAlign alignOf(const QWidget *widget)
{
    const AlignLayout *layout = AlignLayout::ofParent(widget);
    return layout ? layout->alignOf(widget) : TAlign::alNone;
}

void setAlignOf(QWidget *widget, TAlign alignment)
{
    if (AlignLayout *layout = AlignLayout::ofParent(widget))
        layout->setAlign(widget, alignment);
}

// The transient line of a drag: a fine black and white checker, visible on any background,
// standing above every control of the form and letting the mouse through.
class DragLine final : public QWidget
{
public:
    explicit DragLine(QWidget *form)
        : QWidget(form)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
    }
};

} // namespace

TSplitPanel::TSplitPanel(QWidget *owner)
    : QFrame(owner)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    resize(Thickness, height());
}

TSplitPanel::~TSplitPanel()
{
    delete m_line;
}

void TSplitPanel::SetAlign(TAlign value)
{
    if (value == m_align)
        return;
    if (value == TAlign::alClient) {
        platform::modal().messageBox(this, QString::fromUtf8("AlignにalClientは選択できません。"),
            widgets::applicationTitle(), platform::MB_OK);
        return;
    }
    // Free of the alignment while it is placed.
    setAlignOf(this, TAlign::alNone);
    m_horizontalBar = value == TAlign::alTop || value == TAlign::alBottom;
    if (m_horizontalBar) {
        setCursor(Qt::SplitVCursor);
        resize(width(), Thickness);
    } else if (value == TAlign::alLeft || value == TAlign::alRight) {
        setCursor(Qt::SplitHCursor);
        resize(Thickness, height());
    } else {
        unsetCursor();
    }
    if (m_host) {
        setAlignOf(m_host, value);
        const QRect host = m_host->geometry();
        switch (value) {
        case TAlign::alTop:
            move(x(), host.y() + host.height() + BeyondHost);
            break;
        case TAlign::alBottom:
            move(x(), host.y() - BeyondHost);
            break;
        case TAlign::alLeft:
            move(host.x() + host.width() + BeyondHost, y());
            break;
        case TAlign::alRight:
            move(host.x() - BeyondHost, y());
            break;
        default:
            break;
        }
    }
    setAlignOf(this, value);
    m_align = value;
}

void TSplitPanel::SetHostComponent(QWidget *host)
{
    if (host == m_host)
        return;
    m_host = host;
    if (!host)
        return;
    const TAlign hostAlign = alignOf(host);
    if (hostAlign == TAlign::alNone || hostAlign == TAlign::alClient)
        setAlignOf(host, TAlign::alLeft);
    SetAlign(alignOf(host));
}

QPoint TSplitPanel::ConvertPoint(const QWidget *target, const QPoint &point) const
{
    return target->mapFromGlobal(mapToGlobal(point));
}

void TSplitPanel::DrawSizingLine()
{
    QWidget *form = OwnerForm();
    if (!m_line) {
        m_line = new DragLine(form);
        m_line->show();
    }
    m_line->raise();
    // The line is as long as the bar and as thick as the bar, centred on the drag position.
    const QPoint p1 = ConvertPoint(form, m_sizingPos);
    if (m_horizontalBar) {
        const QPoint p2 = ConvertPoint(form, QPoint(width(), 0));
        m_line->setGeometry(p1.x(), p1.y() - height() / 2, p2.x() - p1.x(), height());
    } else {
        const QPoint p2 = ConvertPoint(form, QPoint(0, height()));
        m_line->setGeometry(p1.x() - width() / 2, p1.y(), width(), p2.y() - p1.y());
    }
}

void TSplitPanel::endDrag()
{
    m_sizing = false;
    delete m_line;
}

void TSplitPanel::mousePressEvent(QMouseEvent *event)
{
    QFrame::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !m_host || m_sizing)
        return;
    // The press grabs the mouse for the bar until every button is released.
    m_sizing = true;
    m_sizingPos = QPoint(0, 0);
    DrawSizingLine();
}

void TSplitPanel::mouseMoveEvent(QMouseEvent *event)
{
    QFrame::mouseMoveEvent(event);
    if (!m_sizing)
        return;
    // A release that never arrived (the grab was taken away) ends the drag unapplied.
    if (!(event->buttons() & Qt::LeftButton)) {
        endDrag();
        return;
    }
    const QPoint at = event->position().toPoint();
    if (m_horizontalBar)
        m_sizingPos.setY(at.y());
    else
        m_sizingPos.setX(at.x());
    DrawSizingLine();
}

void TSplitPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QFrame::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_sizing)
        return;
    endDrag();
    if (!m_host)
        return; // the host went away during the drag
    const QPoint p = ConvertPoint(m_host, m_sizingPos);
    QWidget &host = *m_host;
    switch (m_align) {
    case TAlign::alTop:
        host.resize(host.width(), std::max(0, p.y()));
        break;
    case TAlign::alBottom:
        host.resize(host.width(), std::max(0, host.height() - p.y()));
        break;
    case TAlign::alLeft:
        host.resize(std::max(0, p.x()), host.height());
        break;
    case TAlign::alRight:
        host.resize(std::max(0, host.width() - p.x()), host.height());
        break;
    default:
        break;
    }
    // The alignment places the host's neighbours, the bar among them, at once.
    if (AlignLayout *layout = AlignLayout::ofParent(&host)) {
        layout->invalidate();
        layout->activate();
    }
    if (OnEndSizing)
        OnEndSizing(this);
}
