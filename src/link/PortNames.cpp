#include "link/PortNames.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>
#include <tuple>

namespace kelvar {

QString cPortNames::addMapping(const QString& mapping) {
    const auto equals = mapping.indexOf(u'=');
    // Blanks alone are no device: "2= " must not quietly switch port 2 off.
    const QString device = equals > 0 ? mapping.mid(equals + 1).trimmed() : QString();
    if (device.isEmpty()) {
        return QStringLiteral("expected N=DEVICE, got \"%1\"").arg(mapping);
    }
    bool ok = false;
    const int port = mapping.left(equals).trimmed().toInt(&ok);
    if (!ok || port < MinPortNumber || port > MaxPortNumber) {
        return QStringLiteral("port number must be %1 to %2 in \"%3\"")
            .arg(MinPortNumber)
            .arg(MaxPortNumber)
            .arg(mapping);
    }
    setDevice(port, device);
    return {};
}

void cPortNames::setDevice(int port, const QString& device) {
    explicit_.insert(port, device);
}

QString cPortNames::deviceFor(int port) const {
    if (port < MinPortNumber || port > MaxPortNumber) {
        return {};
    }
    if (const auto it = explicit_.find(port); it != explicit_.end()) {
        return *it;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices.append(info.systemLocation());
    }
    devices = OrderSystemPorts(devices);
    return port <= devices.size() ? devices.at(port - 1) : QString();
#endif
}

QStringList OrderSystemPorts(QStringList devices) {
    static const QRegularExpression pattern(QStringLiteral("^(.*?)(\\d*)$"));
    const auto key = [](const QString& device) {
        const auto match = pattern.match(device);
        const QString stem = match.captured(1);
        const int rank = stem.endsWith(QLatin1String("ttyUSB"))   ? 0
                         : stem.endsWith(QLatin1String("ttyACM")) ? 1
                                                                  : 2;
        const QString digits = match.captured(2);
        // A name without a number sorts before numbered names of its kind.
        const long long number = digits.isEmpty() ? -1 : digits.toLongLong();
        return std::make_tuple(rank, stem, number, device);
    };
    std::sort(devices.begin(), devices.end(),
              [&](const QString& a, const QString& b) { return key(a) < key(b); });
    devices.removeDuplicates();
    return devices;
}

} // namespace kelvar
