#include "sim/SensorConfig.h"

#include "link/Framing.h"
#include "model/Speeds.h"

#include <QSet>
#include <algorithm>
#include <array>

namespace kelvar::sim {

namespace {

constexpr std::array<const char*, 12> MonthNames = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Identity characters travel inside answer frames: a control character there
// would end or restart the frame.
bool IsPrintable(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

bool IsDigits(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString ResolutionProblem(const QByteArray& text) {
    const QString problem =
        QStringLiteral("resolution \"%1\" must be a decimal number of at most 6 characters "
                       "from 0.00001 to 0.02")
            .arg(QString::fromUtf8(text));
    if (text.isEmpty() || text.size() > 6 || text.count('.') != 1 ||
        !std::all_of(text.begin(), text.end(),
                     [](char c) { return c == '.' || (c >= '0' && c <= '9'); })) {
        return problem;
    }
    const double value = text.toDouble();
    if (value < 0.00001 || value > 0.02) {
        return problem;
    }
    return {};
}

QByteArray TwoDigits(int value) {
    return QByteArray::number(value).rightJustified(2, '0');
}

// Reads a whole decimal number; false when the text is anything else.
bool ReadInt(QStringView text, int& value) {
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok;
}

QString AddressProblem(int address) {
    if (address < MinAddress || address > MaxAddress) {
        return QStringLiteral("address %1 is outside %2 to %3")
            .arg(address)
            .arg(MinAddress)
            .arg(MaxAddress);
    }
    return {};
}

} // namespace

int BaudCode(qint32 baud) {
    const int index = SpeedIndexOfBaud(baud);
    return index < 0 ? 0 : BaudCodeOfSpeedIndex(index);
}

qint32 BaudOfCode(int code) {
    if (code < 1 || code > static_cast<int>(SpeedTable.size())) {
        return 0;
    }
    return SpeedTable[static_cast<std::size_t>(SpeedIndexOfBaudCode(code))].baud;
}

QString SensorConfig::problem() const {
    if (const QString problem = AddressProblem(address); !problem.isEmpty()) {
        return problem;
    }
    if (BaudCode(baud) == 0) {
        return QStringLiteral("baud rate %1 is not one of 115200, 57600, 38400, 19200").arg(baud);
    }
    if (model.size() > 8 || !IsPrintable(model)) {
        return QStringLiteral("model \"%1\" must be at most 8 printable ASCII characters")
            .arg(QString::fromUtf8(model));
    }
    if (version.isEmpty() || version.size() > 3 || !IsPrintable(version)) {
        return QStringLiteral("version \"%1\" must be 1 to 3 printable ASCII characters")
            .arg(QString::fromUtf8(version));
    }
    if (firmwareDay < 1 || firmwareDay > 31 || firmwareYear < 0 || firmwareYear > 99 ||
        std::find(MonthNames.begin(), MonthNames.end(), firmwareMonth) == MonthNames.end()) {
        return QStringLiteral("firmware date %1 %2 %3 must be day 1 to 31, JAN to DEC, year 0 "
                              "to 99")
            .arg(QString::number(firmwareDay), QString::fromUtf8(firmwareMonth),
                 QString::number(firmwareYear));
    }
    if (serialNumber.size() > 12 || !IsDigits(serialNumber)) {
        return QStringLiteral("serial number \"%1\" must be 1 to 12 decimal digits")
            .arg(QString::fromUtf8(serialNumber));
    }
    if (const QString problem = ResolutionProblem(resolution); !problem.isEmpty()) {
        return problem;
    }
    if (units != "in" && units != "mm") {
        return QStringLiteral("units \"%1\" must be in or mm").arg(QString::fromUtf8(units));
    }
    if (lengthCounts < 1 || lengthCounts > 0xFFFF) {
        return QStringLiteral("length %1 is outside 1 to 65535 counts").arg(lengthCounts);
    }
    return {};
}

QByteArray SensorConfig::identityRecord() const {
    // The serial number is split in two six-digit halves, low-order half first.
    const QByteArray serial = serialNumber.rightJustified(12, '0');
    QByteArray record;
    record += PadText(model, 8);
    record += TwoDigits(firmwareDay) + firmwareMonth + '-' + TwoDigits(firmwareYear);
    record += QByteArray(2, ' ');
    record += PadText(version, 3);
    record += QByteArray(11, ' ');
    record += serial.right(6) + serial.left(6);
    record += QByteArray(2, ' ');
    record += PadText(resolution, 6, u"L", u'0');
    record += units;
    return record;
}

ParsedSensorText ParseSensorText(QStringView text) {
    ParsedSensorText result;
    SensorConfig& config = result.config;
    const auto fail = [&](const QString& why) {
        result.error = QStringLiteral("sensor \"%1\": %2").arg(text.toString(), why);
        return result;
    };

    const QList<QStringView> parts = text.trimmed().split(u',');
    const QList<QStringView> head = parts.front().trimmed().split(u':');
    if (head.size() > 2) {
        return fail(QStringLiteral("expected ADDRESS or ADDRESS:BAUD before the first comma"));
    }
    if (!ReadInt(head[0].trimmed(), config.address)) {
        return fail(QStringLiteral("address \"%1\" is not a whole number from %2 to %3")
                        .arg(head[0].trimmed().toString())
                        .arg(MinAddress)
                        .arg(MaxAddress));
    }
    // Before the default serial number is made from it.
    if (const QString problem = AddressProblem(config.address); !problem.isEmpty()) {
        return fail(problem);
    }
    if (head.size() == 2 && !ReadInt(head[1].trimmed(), config.baud)) {
        return fail(QStringLiteral("baud rate \"%1\" is not a number").arg(head[1].toString()));
    }
    config.serialNumber = QByteArray::number(10000000 + config.address);

    QSet<QString> seen;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QStringView part = parts[i].trimmed();
        const qsizetype equals = part.indexOf(u'=');
        if (equals < 0) {
            return fail(QStringLiteral("expected key=value, got \"%1\"").arg(part.toString()));
        }
        const QString key = part.left(equals).trimmed().toString().toLower();
        const QStringView value = part.mid(equals + 1).trimmed();
        if (seen.contains(key)) {
            return fail(QStringLiteral("%1 given twice").arg(key));
        }
        seen.insert(key);
        if (key == u"serial") {
            config.serialNumber = value.toUtf8();
        } else if (key == u"length") {
            if (!ReadInt(value, config.lengthCounts)) {
                return fail(QStringLiteral("length \"%1\" is not a number").arg(value.toString()));
            }
        } else if (key == u"res") {
            config.resolution = value.toUtf8();
        } else if (key == u"units") {
            config.units = value.toUtf8().toLower();
        } else if (key == u"model") {
            config.model = value.toUtf8();
        } else if (key == u"version") {
            config.version = value.toUtf8();
        } else if (key == u"date") {
            if (value.size() != 7 || !ReadInt(value.left(2), config.firmwareDay) ||
                !ReadInt(value.right(2), config.firmwareYear)) {
                return fail(
                    QStringLiteral("date \"%1\" must look like 05MAR04").arg(value.toString()));
            }
            config.firmwareMonth = value.mid(2, 3).toUtf8().toUpper();
        } else {
            return fail(QStringLiteral("unknown setting \"%1\" (known: serial, length, res, "
                                       "units, model, version, date)")
                            .arg(key));
        }
    }
    if (const QString problem = config.problem(); !problem.isEmpty()) {
        return fail(problem);
    }
    return result;
}

} // namespace kelvar::sim
