#pragma once

#include <QDialog>

class TForm1;

class TForm6 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm6(TForm1 *mainWindow);
};
