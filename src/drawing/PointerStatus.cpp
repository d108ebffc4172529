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

QString pointerCoordinates(double dx, double dy, int decimals, const QLocale& locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    auto coordinate = [&](double v) {
        if (!std::isfinite(v)) v = 0;
        QString text = plain.toString(v, 'f', decimals);
        // A coordinate that rounds to nought reads without a minus sign.
        if (text.startsWith(plain.negativeSign()) && plain.toDouble(text.mid(plain.negativeSign().size())) == 0)
            text.remove(0, plain.negativeSign().size());
        return text;
    };
    const QString between = plain.decimalPoint() == QLatin1String(",") ? QStringLiteral("; ") : QStringLiteral(", ");
    return coordinate(dx) + between + coordinate(dy);
}

int linearPrecision(const std::optional<std::string>& stored)
{
    if (!stored) return 4;
    bool ok = false;
    const int decimals = QString::fromStdString(*stored).trimmed().toInt(&ok);
    return ok && decimals >= 0 && decimals <= 8 ? decimals : 4;
}

}  // namespace drawing
