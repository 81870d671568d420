#include "search/Unit4.h"

#include "app/Unit1.h"

TForm4::TForm4(TForm1 *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(QString::fromUtf8("検索"));
}
