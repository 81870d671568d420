#include "widgets/PanelEx.h"

TPanelEx::TPanelEx(QWidget *parent)
    : QFrame(parent)
{ }
