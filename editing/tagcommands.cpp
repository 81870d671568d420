// The main window's tag commands: the single-file editor and the bulk setting.

#include "app/Unit1.h"

void TForm1::PopupMenu2Popup(QObject *) { }

void TForm1::N9Click(QObject *) { }

void TForm1::N17Click(QObject *) { }
