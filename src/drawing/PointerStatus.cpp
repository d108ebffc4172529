#include "drawing/PointerStatus.h"

#include <cmath>

namespace drawing {

QString generalNumber(double value, const QLocale& locale)
{
    if (!std::isfinite(value) || value == 0) value = 0;  // also no "-0"
    QLocale plain = locale;
    plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

QString pointerStatusText(int x, int y, double dx, double dy, const QLocale& locale)
{
    return QStringLiteral("%1,%2  %3,%4")
        .arg(QString::number(x), QString::number(y), generalNumber(dx, locale), generalNumber(dy, locale));
}

}  // namespace drawing
