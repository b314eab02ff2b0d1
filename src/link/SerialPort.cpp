#include "link/SerialPort.h"

namespace kelvar {

namespace {

const QString High = QStringLiteral("high");
const QString Low = QStringLiteral("low");

} // namespace

QString ParseLineDriverField(cLineDriver& driver, LineDriverField field, const QString& text) {
    const QString word = text.trimmed().toLower();
    switch (field) {
    case LineDriverField::Mode: {
        QStringList names;
        for (const LineDriverModeName& entry : LineDriverModes) {
            if (word == QLatin1String(entry.name)) {
                driver.mode = entry.mode;
                return {};
            }
            names.append(QLatin1String(entry.name));
        }
        return QStringLiteral("expected %1 or %2, got \"%3\"")
            .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")), names.last(), text);
    }
    case LineDriverField::RtsOnSend:
        if (word != High && word != Low) {
            return QStringLiteral("expected %1 or %2, got \"%3\"").arg(High, Low, text);
        }
        driver.rtsHighOnSend = word == High;
        return {};
    case LineDriverField::DelayBeforeMs:
    case LineDriverField::DelayAfterMs: {
        bool ok = false;
        const int ms = word.toInt(&ok);
        if (!ok || ms < 0 || ms > cLineDriver::MaxDelayMs) {
            return QStringLiteral("expected 0 to %1 ms, got \"%2\"")
                .arg(cLineDriver::MaxDelayMs)
                .arg(text);
        }
        (field == LineDriverField::DelayBeforeMs ? driver.delayBeforeMs : driver.delayAfterMs) = ms;
        return {};
    }
    }
    return {};
}

QString LineDriverFieldText(const cLineDriver& driver, LineDriverField field) {
    switch (field) {
    case LineDriverField::Mode:
        for (const LineDriverModeName& entry : LineDriverModes) {
            if (entry.mode == driver.mode) {
                return QLatin1String(entry.name);
            }
        }
        break;
    case LineDriverField::RtsOnSend:
        return driver.rtsHighOnSend ? High : Low;
    case LineDriverField::DelayBeforeMs:
    case LineDriverField::DelayAfterMs:
        return QString::number(field == LineDriverField::DelayBeforeMs ? driver.delayBeforeMs
                                                                       : driver.delayAfterMs);
    }
    return {};
}

} // namespace kelvar
