#include "link/QtSerialPort.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
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
#endif

#ifdef Q_OS_UNIX
// Keyed by the device itself, so that every name for it finds the same file.
QString HolderFilePath(dev_t device) {
    return QDir::tempPath() +
           QStringLiteral("/kelvar-%1-%2.lock").arg(major(device)).arg(minor(device));
}

// The live program the device's holder file names, or empty.
QString Holder(dev_t device) {
    const QLockFile file(HolderFilePath(device));
    qint64 pid = 0;
    QString host;
    QString program;
    if (!file.getLockInfo(&pid, &host, &program) || pid <= 0 ||
        (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)) {
        return {};
    }
    return QStringLiteral("%1 (process %2)").arg(program).arg(pid);
}
#endif

} // namespace

#ifdef Q_OS_UNIX
DeviceNode InspectDevice(const QString& device) {
    DeviceNode node;
    const QByteArray path = QFile::encodeName(device);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        return node;
    }
    node.exists = true;
    node.serial = S_ISCHR(info.st_mode);
    node.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
    node.groupReadWrite = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    node.groupId = info.st_gid;
    const group* g = ::getgrgid(info.st_gid);
    node.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(info.st_gid);
    if (node.serial) {
        node.holder = Holder(info.st_rdev);
    }
    return node;
}
#else
DeviceNode InspectDevice(const QString& device) {
    DeviceNode node;
    node.exists = QFileInfo::exists(device);
    node.serial = node.exists;
    node.accessible = node.exists;
    return node;
}
#endif

OpenDiagnosis DiagnoseOpenFailure(const QString& device, const DeviceNode& node) {
    if (!node.exists) {
        return {OpenFailure::NotFound, QStringLiteral("%1 does not exist").arg(device)};
    }
    if (!node.serial) {
        return {OpenFailure::NotFound, QStringLiteral("%1 is not a serial port").arg(device)};
    }
    if (!node.accessible) {
        // Joining the group helps only when the group may use the device;
        // nobody is sent to join root.
        const bool groupGrantsAccess =
            node.groupReadWrite && node.groupId != 0 && !node.group.isEmpty();
        const QString remedy =
            groupGrantsAccess
                ? QStringLiteral("join the group %1 (then log in again)").arg(node.group)
                : QStringLiteral("ask for access to the device");
        return {OpenFailure::NoPermission,
                QStringLiteral("no permission to use %1: %2").arg(device, remedy)};
    }
    const QString held = QStringLiteral("%1 is held by another program").arg(device);
    return {OpenFailure::Busy,
            node.holder.isEmpty() ? held : held + QStringLiteral(": ") + node.holder};
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
    // A file or a directory would open, then refuse every terminal request.
    if (const DeviceNode node = InspectDevice(device); node.exists && !node.serial) {
        return refuse(node);
    }
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto error = port_.error();
        const DeviceNode node = InspectDevice(device);
        if (error == QSerialPort::DeviceNotFoundError || error == QSerialPort::PermissionError ||
            !node.exists) {
            return refuse(node);
        }
        setFailure(OpenFailure::Other,
                   QStringLiteral("%1 cannot be opened: %2").arg(device, port_.errorString()));
        return false;
    }
    if (!claimDevice()) {
        return false;
    }
    const bool configured = port_.setBaudRate(baud) && port_.setDataBits(QSerialPort::Data8) &&
                            port_.setParity(QSerialPort::NoParity) &&
                            port_.setStopBits(QSerialPort::OneStop) &&
                            port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString reason = port_.errorString();
        close();
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

bool cQtSerialPort::claimDevice() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(port_.handle());
    // flock() holds the device itself, so every name for it collides, and
    // unlike TIOCEXCL it holds against root too. The kernel lets go of it
    // with the last descriptor, however the process ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        port_.close();
        return refuse(InspectDevice(device_));
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        holderFile_ = std::make_unique<QLockFile>(HolderFilePath(info.st_rdev));
        // The device is ours: a file naming anyone else (a process that
        // died, its number since reused) is out of date.
        if (!holderFile_->tryLock() && holderFile_->removeStaleLockFile()) {
            (void)holderFile_->tryLock();
        }
    }
#endif
    return true;
}

bool cQtSerialPort::refuse(const DeviceNode& node) {
    const auto diagnosis = DiagnoseOpenFailure(device_, node);
    setFailure(diagnosis.failure, diagnosis.text);
    return false;
}

void cQtSerialPort::close() {
    // Before the device is let go, so that its next holder never finds
    // this process named.
    holderFile_.reset();
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
        close();
        emit portEvent(PortEvent::DeviceRemoved);
        break;
    default:
        break;
    }
}

} // namespace kelvar
