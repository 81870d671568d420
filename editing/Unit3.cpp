#include "editing/Unit3.h"

#include "app/Unit1.h"

TForm3::TForm3(TForm1 *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(QString::fromUtf8("ID3 TAG"));
}
