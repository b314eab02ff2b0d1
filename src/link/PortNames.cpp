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

namespace {

#ifdef Q_OS_WIN
QStringList SystemPorts() {
    return {};
}

QString SystemDevice(int port, const QStringList&) {
    return QStringLiteral("COM%1").arg(port);
}
#else
QStringList SystemPorts() {
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices.append(info.systemLocation());
    }
    return OrderSystemPorts(devices);
}

QString SystemDevice(int port, const QStringList& systemPorts) {
    return systemPorts.value(port - 1);
}
#endif

} // namespace

QString cPortNames::deviceFor(int port) const {
    if (port < MinPortNumber || port > MaxPortNumber) {
        return {};
    }
    // A mapped port costs no search of the system's.
    return explicit_.contains(port) ? explicit_.value(port) : SystemDevice(port, SystemPorts());
}

QStringList cPortNames::devices() const {
    const QStringList system = SystemPorts();
    QStringList devices;
    for (int port = MinPortNumber; port <= MaxPortNumber; ++port) {
        devices.append(explicit_.contains(port) ? explicit_.value(port)
                                                : SystemDevice(port, system));
    }
    return devices;
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
