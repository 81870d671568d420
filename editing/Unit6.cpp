#include "editing/Unit6.h"

#include "app/Unit1.h"

TForm6::TForm6(TForm1 *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(QString::fromUtf8("ID3TAG 一括設定"));
}
