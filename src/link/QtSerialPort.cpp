#include "link/QtSerialPort.h"

#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvar {

namespace {

#ifdef Q_OS_LINUX
// USB adapters hold received bytes back for up to 16 ms unless asked not
// to; drivers that do not know the request refuse it, and we carry on.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &serial);
    }
}

QString DeviceGroup(const QString& device) {
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0) {
        return {};
    }
    if (const group* g = ::getgrgid(info.st_gid)) {
        return QString::fromLocal8Bit(g->gr_name);
    }
    return QString::number(info.st_gid);
}

bool Accessible(const QString& device) {
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}
#else
QString DeviceGroup(const QString&) {
    return {};
}
bool Accessible(const QString&) {
    return true;
}
#endif

} // namespace

OpenDiagnosis DiagnoseOpenFailure(const QString& device, bool exists, bool accessible,
                                  const QString& group) {
    if (!exists) {
        return {OpenFailure::NotFound, QStringLiteral("%1 does not exist").arg(device)};
    }
    if (!accessible) {
        const QString join =
            group.isEmpty() ? QStringLiteral("ask for access to the device")
                            : QStringLiteral("join the group %1 (then log in again)").arg(group);
        return {OpenFailure::NoPermission,
                QStringLiteral("no permission to use %1: %2").arg(device, join)};
    }
    return {OpenFailure::Busy, QStringLiteral("%1 is held by another program").arg(device)};
}

cQtSerialPort::cQtSerialPort(QObject* parent) : cSerialPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this,
            [this] { emit portEvent(PortEvent::DataReceived); });
    connect(&port_, &QSerialPort::errorOccurred, this, &cQtSerialPort::onError);
}

cQtSerialPort::~cQtSerialPort() {
    // Closing from here must not reach the link through errorOccurred.
    port_.disconnect(this);
}

bool cQtSerialPort::open(const QString& device, qint32 baud) {
    close();
    setFailure(OpenFailure::None, {});
    if (device.isEmpty()) {
        setFailure(OpenFailure::NotFound, QStringLiteral("no such serial port"));
        return false;
    }
    device_ = device;
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto error = port_.error();
        if (error == QSerialPort::DeviceNotFoundError || error == QSerialPort::PermissionError ||
            !QFileInfo::exists(device)) {
            const bool exists = QFileInfo::exists(device);
            const auto diagnosis = DiagnoseOpenFailure(device, exists, exists && Accessible(device),
                                                       exists ? DeviceGroup(device) : QString());
            setFailure(diagnosis.failure, diagnosis.text);
        } else {
            setFailure(OpenFailure::Other,
                       QStringLiteral("%1 cannot be opened: %2").arg(device, port_.errorString()));
        }
        return false;
    }
    const bool configured = port_.setBaudRate(baud) && port_.setDataBits(QSerialPort::Data8) &&
                            port_.setParity(QSerialPort::NoParity) &&
                            port_.setStopBits(QSerialPort::OneStop) &&
                            port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString reason = port_.errorString();
        port_.close();
        setFailure(OpenFailure::BadSettings,
                   QStringLiteral("%1 refuses %2 baud, 8N1: %3").arg(device).arg(baud).arg(reason));
        return false;
    }
    // RS-485 adapters may key their driver on RTS; a device without modem
    // lines (a pseudo-terminal) refuses the request and works all the same.
    (void)port_.setRequestToSend(true);
#ifdef Q_OS_LINUX
    RequestLowLatency(static_cast<int>(port_.handle()));
#endif
    port_.clear();
    return true;
}

void cQtSerialPort::close() {
    if (port_.isOpen()) {
        port_.close();
    }
}

bool cQtSerialPort::isOpen() const {
    return port_.isOpen();
}

bool cQtSerialPort::write(const QByteArray& bytes) {
    if (port_.write(bytes) != bytes.size()) {
        return false;
    }
    // Hand the bytes to the driver now rather than on the next event-loop turn.
    port_.flush();
    return true;
}

QString cQtSerialPort::deviceName() const {
    return device_;
}

QByteArray cQtSerialPort::readPending() {
    return port_.readAll();
}

void cQtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::WriteError:
        emit portEvent(PortEvent::TransmitFull);
        break;
    case QSerialPort::ReadError:
        emit portEvent(PortEvent::ReceiveOverflow);
        break;
    case QSerialPort::ResourceError:
        // The device went away (or stopped working) under an open port.
        if (port_.isOpen()) {
            port_.close();
        }
        emit portEvent(PortEvent::DeviceRemoved);
        break;
    default:
        break;
    }
}

} // namespace kelvar
