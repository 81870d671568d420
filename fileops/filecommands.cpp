// The main window's file operations on the work list.

#include "app/Unit1.h"

void TForm1::Button3Click(QObject *) { }

void TForm1::Button4Click(QObject *) { }

void TForm1::Button5Click(QObject *) { }

void TForm1::Button8Click(QObject *) { }
