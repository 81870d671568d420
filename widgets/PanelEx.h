#pragma once

#include <QFrame>

// A panel whose enabled state carries over to every control inside it.
class TPanelEx : public QFrame
{
    Q_OBJECT

public:
    explicit TPanelEx(QWidget *parent = nullptr);

    bool UpdateParent = false;
};
