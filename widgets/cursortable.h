#pragma once

#include <QCursor>

namespace widgets {

// The application's cursor table: cursors of the program's own by number, as the original
// platform's screen kept them. Installing a number again replaces the entry.
void installCursor(int number, const QCursor &cursor);
QCursor cursorOf(int number);
int cursorCount();

// The program's "HANDPOINT" cursor: a 32 x 32 pointing hand, hot spot at the fingertip (7, 1).
QCursor handPointCursor();
constexpr int crHandPoint = 32761;

} // namespace widgets
