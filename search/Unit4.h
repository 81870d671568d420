#pragma once

#include <QDialog>

class TForm1;

class TForm4 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm4(TForm1 *mainWindow);
};
