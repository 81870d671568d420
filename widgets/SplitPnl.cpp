#include "widgets/SplitPnl.h"

TSplitPanel::TSplitPanel(QWidget *owner)
    : QFrame(owner)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    resize(4, 4);
}
