#pragma once

#include <QDialog>

class TForm1;

class TForm3 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm3(TForm1 *mainWindow);
};
