// The main window's conditional search command.

#include "app/Unit1.h"

void TForm1::Button2Click(QObject *) { }
