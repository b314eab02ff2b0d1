#include "model/Text.h"

#include <QRegularExpression>
#include <cstdint>

namespace kelvar {

QString ProperCase(QStringView text) {
    QString result = text.toString().toLower();
    bool wordStart = true;
    for (QChar& c : result) {
        if (c.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            c = c.toUpper();
            wordStart = false;
        }
    }
    return result;
}

QString LeadingDigits(QStringView text) {
    QString digits;
    for (const QChar c : text) {
        if (c == u' ') {
            continue;
        }
        if (c < u'0' || c > u'9') {
            break;
        }
        if (!digits.isEmpty() || c != u'0') {
            digits += c;
        }
    }
    return digits.isEmpty() ? QStringLiteral("0") : digits;
}

bool IsEnglishUnits(const QString& units) {
    return units.trimmed() == QLatin1String("in");
}

QString LengthUnit(const QString& units) {
    if (IsEnglishUnits(units)) {
        return QStringLiteral("in");
    }
    const QString own = units.trimmed();
    return own.isEmpty() ? QStringLiteral("mm") : own;
}

QString CaptionInUnits(const QString& caption, const QString& units) {
    if (IsEnglishUnits(units)) {
        return caption;
    }
    // "(in)" and "(In.)" whole; "in/sec" also after a number ("0-40in/sec").
    static const QRegularExpression enclosed(QStringLiteral("\\((?:in|In\\.)\\)"));
    static const QRegularExpression perSecond(QStringLiteral("(?<![A-Za-z])in/sec"));
    const QString unit = LengthUnit(units);
    QString text = caption;
    text.replace(enclosed, u'(' + unit + u')');
    text.replace(perSecond, unit + QStringLiteral("/sec"));
    return text;
}

QString PrintableBytes(const QByteArray& bytes) {
    QString text;
    for (const char c : bytes) {
        if (c >= 0x20 && c <= 0x7E) {
            text += QLatin1Char(c);
        } else {
            text += u'<' +
                    QString::number(static_cast<std::uint8_t>(c), 16)
                        .toUpper()
                        .rightJustified(2, u'0') +
                    u'>';
        }
    }
    return text;
}

} // namespace kelvar
