#include "fileops/Unit2.h"

#include "app/Unit1.h"

TForm2::TForm2(TForm1 *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(QString::fromUtf8("フォルダ新規作成"));
}
