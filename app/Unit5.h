#pragma once

#include <QDialog>

class TForm1;

class TForm5 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm5(TForm1 *mainWindow);
};
