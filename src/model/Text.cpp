#include "model/Text.h"

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

} // namespace kelvar
