#pragma once

#include <QFrame>

// A panel whose enabled state carries over to every control inside it, at every depth of
// nested panels and group boxes, and, with UpdateParent, to its own parent.
//
// Qt's own enabled state cannot carry this: a child that was disabled on its own stays
// disabled when its parent is enabled again, and no change event comes when the effective
// state stays the same (with UpdateParent the panel would never learn that it should enable
// its parent again). So the panel sets every state explicitly, through its own setEnabled.
class TPanelEx : public QFrame
{
    Q_OBJECT

public:
    explicit TPanelEx(QWidget *parent = nullptr);

    // When the panel's enabled state changes, the parent gets the same state.
    bool UpdateParent = false;

    // Sets the panel's own state, then, with UpdateParent, its parent's, then that of every
    // control inside it. Nothing happens when the panel already has that state of its own.
    void setEnabled(bool enabled);
    void setDisabled(bool disabled) { setEnabled(!disabled); }

private:
    static void SetChildrenEnabled(QWidget *container, bool enabled);
};
