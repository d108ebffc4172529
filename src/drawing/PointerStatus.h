#pragma once
// The status line that follows the pointer over a drawing view: the screen
// position, two blanks, and the drawing point under it, as
// "312,208  1520.75,884.5".

#include <QLocale>
#include <QString>

namespace drawing {

// A drawing coordinate in the shortest general form, with at most 15
// significant digits, the locale's decimal separator and no digit grouping;
// very large and very small numbers with an exponent. A value that is not a
// number reads 0.
QString generalNumber(double value, const QLocale& locale = QLocale::system());

// The status text for screen point (x, y) over drawing point (dx, dy).
QString pointerStatusText(int x, int y, double dx, double dy, const QLocale& locale = QLocale::system());

}  // namespace drawing
