#include "widgets/BrowsDlg.h"

TBrowseDialog::TBrowseDialog(QObject *owner)
    : QObject(owner)
{ }

bool TBrowseDialog::Execute()
{
    return false;
}
