#pragma once
// The status line that follows the pointer over a drawing view: the screen
// position, two blanks, and the drawing point under it, as
// "312,208  1520.75,884.5".

#include <QLocale>
#include <QString>

#include <optional>
#include <string>

namespace drawing {

// A drawing coordinate in the shortest general form, with at most 15
// significant digits, the locale's decimal separator and no digit grouping;
// very large and very small numbers with an exponent. A value that is not a
// number reads 0.
QString generalNumber(double value, const QLocale& locale = QLocale::system());

// The status text for screen point (x, y) over drawing point (dx, dy).
QString pointerStatusText(int x, int y, double dx, double dy, const QLocale& locale = QLocale::system());

// The drawing point under the pointer in drawing units, each coordinate
// rounded to `decimals` places (the drawing's $LUPREC), as "1520.7500, 884.5000";
// with a locale that writes a decimal comma the two are parted by "; ".
QString pointerCoordinates(double dx, double dy, int decimals, const QLocale& locale = QLocale::system());

// The number of decimal places a drawing asks lengths to be shown with
// ($LUPREC, stored as text): 0 to 8, and 4 when it says nothing usable.
int linearPrecision(const std::optional<std::string>& stored);

}  // namespace drawing
