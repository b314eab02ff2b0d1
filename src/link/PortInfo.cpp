#include "link/PortInfo.h"

#include "link/QtSerialPort.h"
#include "model/Speeds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace kelvar {

namespace {

// The stable name udev gives a USB adapter, a link to its device node.
QString ByIdName(const QString& node) {
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (link.canonicalFilePath() == node) {
            return link.absoluteFilePath();
        }
    }
    return {};
}

// The driver of the hardware behind a tty. Newer kernels put devices of the
// serial core's own ("port", "ctrl") between the tty and its controller:
// those are passed over.
QString DriverOf(const QString& hardware) {
    QString dir = QFileInfo(hardware).canonicalFilePath();
    while (dir.startsWith(QLatin1String("/sys/devices/"))) {
        const QString driver = QFileInfo(dir + QStringLiteral("/driver")).symLinkTarget();
        if (driver.isEmpty()) {
            return {};
        }
        if (!driver.contains(QLatin1String("/bus/serial-base/"))) {
            return QFileInfo(driver).fileName();
        }
        dir = QFileInfo(dir).path();
    }
    return {};
}

bool HeldHere(const QString& device) {
    const qint64 self = QCoreApplication::applicationPid();
    const QList<DeviceHolder> holders = InspectDevice(device).holders;
    return std::any_of(holders.begin(), holders.end(),
                       [self](const DeviceHolder& holder) { return holder.pid == self; });
}

PortReport Inspect(int comm, const QString& device, const cPortNames& names,
                   const cLineDriver& driver) {
    PortReport report;
    report.comm = comm;
    report.device = device;
    if (report.device.isEmpty()) {
        return report;
    }
    report.mapped = names.explicitDevices().contains(comm);

    cQtSerialPort probe;
    probe.setLineDriver(driver);
    if (probe.open(report.device, SpeedTable[0].baud)) {
        report.state = PortReport::State::Opens;
        report.notice = probe.notice();
        probe.close();
    } else if (probe.failure() == OpenFailure::Busy && HeldHere(report.device)) {
        report.state = PortReport::State::InUseHere;
    } else {
        report.failure = probe.failureText();
    }

    // Read after the open, so that what it changed (the latency asked of a
    // USB adapter) shows as the program will find it.
    const QString node = QFileInfo(report.device).canonicalFilePath();
    if (!node.isEmpty() && node != QFileInfo(report.device).absoluteFilePath()) {
        report.node = node;
    }
    if (const QString byId = node.isEmpty() ? QString() : ByIdName(node); byId != report.device) {
        report.byId = byId;
    }
    const QString hardware = TtyHardwareDir(report.device);
    if (hardware.isEmpty()) {
        return report;
    }
    report.driver = DriverOf(hardware);
    report.latencyTimerMs = LatencyTimerMs(report.device);
    if (const QSerialPortInfo info(QFileInfo(node).fileName()); info.hasVendorIdentifier()) {
        report.usbId = QStringLiteral("%1:%2")
                           .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                           .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        QStringList name{info.manufacturer(), info.description()};
        name.removeAll(QString());
        name.removeDuplicates();
        report.usbName = name.join(u' ');
    }
    return report;
}

} // namespace

PortReport InspectPort(int comm, const cPortNames& names, const cLineDriver& driver) {
    return Inspect(comm, names.deviceFor(comm), names, driver);
}

QList<PortReport> InspectPorts(const cPortNames& names, const cLineDriver& driver) {
    QList<PortReport> reports;
    const QStringList devices = names.devices();
    for (int comm = MinPortNumber; comm <= MaxPortNumber; ++comm) {
        if (const QString& device = devices.at(comm - MinPortNumber); !device.isEmpty()) {
            reports.append(Inspect(comm, device, names, driver));
        }
    }
    return reports;
}

QStringList DescribePort(const PortReport& report) {
    QString title = QStringLiteral("Comm %1: ").arg(report.comm);
    if (report.device.isEmpty()) {
        return {title + QStringLiteral("no device")};
    }
    title += report.device;
    if (!report.node.isEmpty()) {
        title += QStringLiteral(" -> ") + report.node;
    }
    if (report.mapped) {
        title += QStringLiteral(" (mapped)");
    }
    QStringList lines{title};
    const QString indent = QStringLiteral("  ");
    if (!report.byId.isEmpty()) {
        lines.append(indent + report.byId);
    }
    QStringList facts;
    if (!report.driver.isEmpty()) {
        facts.append(QStringLiteral("driver ") + report.driver);
    }
    if (!report.usbId.isEmpty()) {
        facts.append(QStringLiteral("USB ") + report.usbId +
                     (report.usbName.isEmpty() ? QString() : u' ' + report.usbName));
    }
    if (report.latencyTimerMs) {
        facts.append(QStringLiteral("latency_timer %1 ms").arg(*report.latencyTimerMs));
    }
    if (!facts.isEmpty()) {
        lines.append(indent + facts.join(QStringLiteral(", ")));
    }
    switch (report.state) {
    case PortReport::State::Opens:
        lines.append(indent + QStringLiteral("opens"));
        break;
    case PortReport::State::InUseHere:
        lines.append(indent + QStringLiteral("in use by this program"));
        break;
    case PortReport::State::Refused:
        lines.append(indent + QStringLiteral("does not open: ") + report.failure);
        break;
    }
    if (!report.notice.isEmpty()) {
        lines.append(indent + QStringLiteral("note: ") + report.notice.simplified());
    }
    return lines;
}

} // namespace kelvar
