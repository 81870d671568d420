#include "app/Unit5.h"

#include "app/Unit1.h"

TForm5::TForm5(TForm1 *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(QString::fromUtf8("Version Information"));
}
