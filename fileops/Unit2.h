#pragma once

#include <QDialog>

class TForm1;

class TForm2 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(TForm1 *mainWindow);
};
