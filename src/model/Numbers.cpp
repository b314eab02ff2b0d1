#include "model/Numbers.h"

#include <QRegularExpression>
#include <cmath>

namespace kelvar {

std::int64_t RoundHalfEven(double value) {
    // Not std::round (halves away from zero), and not nearbyint, whose result
    // would depend on the process's floating-point rounding mode.
    const double whole = std::floor(value);
    const double fraction = value - whole;
    double result = whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) {
        result = whole + 1.0;
    }
    return static_cast<std::int64_t>(result);
}

QString FormatNumber(double value, QStringView pattern, const QLocale& locale) {
    const auto point = pattern.indexOf(u'.');
    const QStringView integerPart = point < 0 ? pattern : pattern.left(point);
    const QStringView decimalPart = point < 0 ? QStringView() : pattern.mid(point + 1);

    const int minIntegerDigits = static_cast<int>(integerPart.count(u'0'));
    const bool grouping = integerPart.contains(u',');
    const int maxDecimals = static_cast<int>(decimalPart.count(u'0') + decimalPart.count(u'#'));
    const int minDecimals = static_cast<int>(decimalPart.count(u'0'));

    QString digits = QString::number(std::fabs(value), 'f', maxDecimals);
    QString integerDigits = digits;
    QString decimals;
    if (const auto dot = digits.indexOf(u'.'); dot >= 0) {
        integerDigits = digits.left(dot);
        decimals = digits.mid(dot + 1);
    }
    while (decimals.size() > minDecimals && decimals.endsWith(u'0')) {
        decimals.chop(1);
    }
    integerDigits.remove(QRegularExpression(QStringLiteral("^0+")));
    while (integerDigits.size() < minIntegerDigits) {
        integerDigits.prepend(u'0');
    }
    if (grouping) {
        const QString separator = locale.groupSeparator();
        for (auto i = integerDigits.size() - 3; i > 0; i -= 3) {
            integerDigits.insert(i, separator);
        }
    }

    QString text = integerDigits;
    if (point >= 0) {
        text += locale.decimalPoint() + decimals;
    }
    const bool isZero = !digits.contains(QRegularExpression(QStringLiteral("[1-9]")));
    if (value < 0 && !isZero) {
        text.prepend(locale.negativeSign());
    }
    return text;
}

} // namespace kelvar
