#pragma once

#include <QFrame>

// The split bar between two aligned controls: dragging it resizes its host.
class TSplitPanel : public QFrame
{
    Q_OBJECT

public:
    explicit TSplitPanel(QWidget *owner);
};
