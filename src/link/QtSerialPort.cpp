#include "link/QtSerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kelvar {

namespace {

// Services that open serial ports on their own, and what to do about them.
struct PortGrabber {
    const char* program;
    const char* remedy;
};
constexpr PortGrabber PortGrabbers[] = {
    {"ModemManager", "stop it (sudo systemctl stop ModemManager) or disable it (sudo systemctl "
                     "disable ModemManager)"},
    {"brltty", "stop it (sudo systemctl stop brltty) and, when no braille display is used, "
               "remove it (sudo apt remove brltty)"},
};

const PortGrabber* FindGrabber(const QString& program) {
    for (const PortGrabber& grabber : PortGrabbers) {
        if (program == QLatin1String(grabber.program)) {
            return &grabber;
        }
    }
    return nullptr;
}

#ifdef Q_OS_LINUX
// USB adapters hold received bytes back for up to 16 ms unless asked not
// to; drivers that do not know the request refuse it. False when refused.
bool RequestLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        return false;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

// What the user should know when a USB adapter kept its latency: it costs
// time on every request, unnoticed otherwise.
QString LatencyNotice(const QString& device, bool lowLatency) {
    const QString hardware = TtyHardwareDir(device);
    if (const auto timer = LatencyTimerMs(device); timer && *timer > 1) {
        return QStringLiteral("%1 did not take low latency: the adapter adds up to %2 ms per "
                              "request (its latency_timer; lower it with: echo 1 | sudo tee "
                              "%3/latency_timer)")
            .arg(device)
            .arg(*timer)
            .arg(hardware);
    }
    const bool usb = QFileInfo(hardware).canonicalFilePath().contains(QLatin1String("/usb"));
    if (!lowLatency && usb) {
        return QStringLiteral(
                   "%1 did not take low latency: a slow adapter adds up to 16 ms per request")
            .arg(device);
    }
    return {};
}

// The name a process runs under: its program file's, or else the kernel's
// short name for it.
QString ProgramName(const QString& process) {
    QString program = QFileInfo(process + QStringLiteral("/exe")).symLinkTarget();
    if (!program.isEmpty()) {
        // A program file replaced while it runs (an upgrade) reads so.
        program.remove(QLatin1String(" (deleted)"));
        return QFileInfo(program).fileName();
    }
    QFile comm(process + QStringLiteral("/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                          : QString();
}

// The process directories under /proc.
QStringList Processes() {
    QStringList processes;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        (void)entry.toLongLong(&number);
        if (number) {
            processes.append(QStringLiteral("/proc/") + entry);
        }
    }
    return processes;
}

// Every process whose open files this one may read that has the device
// open, by whatever name. Other users' processes stay hidden unless this
// one runs as root.
QList<DeviceHolder> ProcessesHolding(dev_t device) {
    QList<DeviceHolder> holders;
    for (const QString& process : Processes()) {
        const QByteArray fdDir = QFile::encodeName(process + QStringLiteral("/fd"));
        DIR* dir = ::opendir(fdDir.constData());
        if (dir == nullptr) {
            continue;
        }
        bool holds = false;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            const QByteArray path = fdDir + '/' + entry->d_name;
            if (entry->d_name[0] != '.' && ::stat(path.constData(), &info) == 0 &&
                S_ISCHR(info.st_mode) && info.st_rdev == device) {
                holds = true;
                break;
            }
        }
        ::closedir(dir);
        if (holds) {
            holders.append({ProgramName(process), QFileInfo(process).fileName().toLongLong()});
        }
    }
    return holders;
}

// A service that takes serial ports and runs, or empty.
QString RunningGrabber() {
    for (const QString& process : Processes()) {
        QFile comm(process + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly)) {
            const QString program = QString::fromLocal8Bit(comm.readAll()).trimmed();
            if (FindGrabber(program) != nullptr) {
                return program;
            }
        }
    }
    return {};
}
#endif

#ifdef Q_OS_UNIX
// Keyed by the device itself, so that every name for it finds the same file.
QString HolderFilePath(dev_t device) {
    return QDir::tempPath() +
           QStringLiteral("/kelvar-%1-%2.lock").arg(major(device)).arg(minor(device));
}

// The live program of ours the device's holder file names.
std::optional<DeviceHolder> HolderOfOurs(dev_t device) {
    const QLockFile file(HolderFilePath(device));
    qint64 pid = 0;
    QString host;
    QString program;
    if (!file.getLockInfo(&pid, &host, &program) || pid <= 0 ||
        (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)) {
        return std::nullopt;
    }
    return DeviceHolder{program, pid};
}
#endif

} // namespace

#ifdef Q_OS_UNIX
DeviceNode InspectDevice(const QString& device, Holders holders) {
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
    // Only a device this process may use can be refused as held.
    if (holders == Holders::Skip || !node.serial || !node.accessible) {
        return node;
    }
    // Our own programs name themselves even to another user; the rest are
    // found by their open files.
    if (const auto ours = HolderOfOurs(info.st_rdev)) {
        node.holders.append(*ours);
    }
#ifdef Q_OS_LINUX
    if (node.holders.isEmpty()) {
        node.holders = ProcessesHolding(info.st_rdev);
    }
    for (const DeviceHolder& holder : node.holders) {
        if (FindGrabber(holder.program) != nullptr) {
            node.grabber = holder.program;
        }
    }
    if (node.holders.isEmpty()) {
        node.grabber = RunningGrabber();
    }
#endif
    return node;
}
#else
DeviceNode InspectDevice(const QString& device, Holders) {
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
    QString held = QStringLiteral("%1 is held by another program").arg(device);
    QStringList holders;
    for (const DeviceHolder& holder : node.holders) {
        holders.append(QStringLiteral("%1 (process %2)").arg(holder.program).arg(holder.pid));
    }
    if (!holders.isEmpty()) {
        held += QStringLiteral(": ") + holders.join(QStringLiteral(", "));
    }
    if (const PortGrabber* grabber = FindGrabber(node.grabber)) {
        held += QStringLiteral("; %1 %2 serial ports: %3")
                    .arg(node.grabber,
                         holders.isEmpty() ? QStringLiteral("is running and takes")
                                           : QStringLiteral("takes"),
                         QLatin1String(grabber->remedy));
    }
    return {OpenFailure::Busy, held};
}

#ifdef Q_OS_LINUX
QString TtyHardwareDir(const QString& device) {
    const QString node = QFileInfo(device).canonicalFilePath();
    if (!node.startsWith(QLatin1String("/dev/"))) {
        return {};
    }
    const QString dir = QStringLiteral("/sys/class/tty/%1/device").arg(QFileInfo(node).fileName());
    return QFileInfo::exists(dir) ? dir : QString();
}

std::optional<int> LatencyTimerMs(const QString& device) {
    const QString hardware = TtyHardwareDir(device);
    QFile timer(hardware + QStringLiteral("/latency_timer"));
    if (hardware.isEmpty() || !timer.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const int ms = timer.readAll().trimmed().toInt(&ok);
    return ok ? std::optional<int>(ms) : std::nullopt;
}
#else
QString TtyHardwareDir(const QString&) {
    return {};
}

std::optional<int> LatencyTimerMs(const QString&) {
    return std::nullopt;
}
#endif

cQtSerialPort::cQtSerialPort(QObject* parent) : cSerialPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this,
            [this] { emit portEvent(PortEvent::DataReceived); });
    connect(&port_, &QSerialPort::errorOccurred, this, &cQtSerialPort::onError);
}

cSerialPort::Maker cQtSerialPort::maker() const {
    return [driver = lineDriver()] {
        auto port = std::make_unique<cQtSerialPort>();
        port->setLineDriver(driver);
        return std::unique_ptr<cSerialPort>(std::move(port));
    };
}

cQtSerialPort::~cQtSerialPort() {
    // Closing from here must not reach the link through errorOccurred.
    port_.disconnect(this);
}

bool cQtSerialPort::open(const QString& device, qint32 baud) {
    close();
    setFailure(OpenFailure::None, {});
    setNotice({});
    if (device.isEmpty()) {
        setFailure(OpenFailure::NotFound, QStringLiteral("no such serial port"));
        return false;
    }
    device_ = device;
    // A file or a directory would open, then refuse every terminal request.
    if (const DeviceNode node = InspectDevice(device, Holders::Skip); node.exists && !node.serial) {
        return refuse(node);
    }
    // A bare name would be taken for one under /dev; the user meant the
    // file the name leads to from here, as every other check takes it.
    port_.setPortName(QFileInfo(device).absoluteFilePath());
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
    if (!setUpLineDriver()) {
        return false;
    }
#ifdef Q_OS_LINUX
    const bool lowLatency = RequestLowLatency(static_cast<int>(port_.handle()));
    QStringList notices{notice(), LatencyNotice(device, lowLatency)};
    notices.removeAll(QString());
    setNotice(notices.join(u'\n'));
#endif
    port_.clear();
    return true;
}

bool cQtSerialPort::setUpLineDriver() {
    driving_ = lineDriver();
    const cLineDriver& driver = driving_;
    switch (driver.mode) {
    case cLineDriver::Mode::Off:
        // RS-485 adapters may key their driver on RTS; a device without
        // modem lines (a pseudo-terminal) refuses the request and works all
        // the same.
        (void)port_.setRequestToSend(true);
        return true;
    case cLineDriver::Mode::Rts:
        // Receiving until a request goes out; a port that cannot switch RTS
        // would never hear an answer.
        return switchRts(false) ||
               refuseLineDriver(
                   QStringLiteral("%1 cannot switch RTS (%2)").arg(device_, port_.errorString()));
    case cLineDriver::Mode::Kernel:
        break;
    }
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(port_.handle());
    serial_rs485 found{};
    if (::ioctl(fd, TIOCGRS485, &found) == 0) {
        kernelRs485Found_ =
            KernelRs485{found.flags, found.delay_rts_before_send, found.delay_rts_after_send};
    }
    serial_rs485 asked{};
    asked.flags = SER_RS485_ENABLED |
                  (driver.rtsHighOnSend ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
    asked.delay_rts_before_send = static_cast<quint32>(driver.delayBeforeMs);
    asked.delay_rts_after_send = static_cast<quint32>(driver.delayAfterMs);
    const auto unsupported = [this](const QString& reason) {
        return refuseLineDriver(
            QStringLiteral("%1 does not support the kernel's RS-485 mode (TIOCSRS485: %2)")
                .arg(device_, reason));
    };
    // The kernel answers with what it took, held to what the driver can do.
    serial_rs485 taken = asked;
    if (::ioctl(fd, TIOCSRS485, &taken) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        kernelRs485Found_.reset(); // nothing changed
        return unsupported(reason);
    }
    if ((taken.flags & SER_RS485_ENABLED) == 0) {
        return unsupported(QStringLiteral("the driver left it off"));
    }
    const quint32 rtsFlags = SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND;
    if ((taken.flags & rtsFlags) != (asked.flags & rtsFlags) ||
        taken.delay_rts_before_send != asked.delay_rts_before_send ||
        taken.delay_rts_after_send != asked.delay_rts_after_send) {
        setNotice(QStringLiteral("the kernel's RS-485 mode on %1 keeps RTS %2 while sending, %3 ms "
                                 "before and %4 ms after: what its driver can do")
                      .arg(device_, (taken.flags & SER_RS485_RTS_ON_SEND) != 0
                                        ? QStringLiteral("high")
                                        : QStringLiteral("low"))
                      .arg(taken.delay_rts_before_send)
                      .arg(taken.delay_rts_after_send));
    }
    return true;
#else
    return refuseLineDriver(
        QStringLiteral("%1: the kernel's RS-485 mode exists only on Linux").arg(device_));
#endif
}

bool cQtSerialPort::refuseLineDriver(const QString& text) {
    close();
    setFailure(OpenFailure::LineDriverUnsupported, text);
    return false;
}

void cQtSerialPort::restoreKernelRs485() {
#ifdef Q_OS_LINUX
    if (kernelRs485Found_) {
        serial_rs485 found{};
        found.flags = kernelRs485Found_->flags;
        found.delay_rts_before_send = kernelRs485Found_->delayBeforeMs;
        found.delay_rts_after_send = kernelRs485Found_->delayAfterMs;
        // A device that went away takes its settings along.
        (void)::ioctl(static_cast<int>(port_.handle()), TIOCSRS485, &found);
    }
#endif
    kernelRs485Found_.reset();
}

bool cQtSerialPort::switchRts(bool sending) {
    return port_.setRequestToSend(sending == driving_.rtsHighOnSend);
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
        // The next program finds the port as this one found it.
        restoreKernelRs485();
        port_.close();
    }
}

bool cQtSerialPort::isOpen() const {
    return port_.isOpen();
}

bool cQtSerialPort::write(const QByteArray& bytes) {
    const bool drivesRts = driving_.mode == cLineDriver::Mode::Rts;
    // The transceiver sends while RTS is at its sending level. The pauses
    // are the line's own and short, and the answer's time-out starts only
    // once the request is out, so nothing else may run in them.
    if (drivesRts) {
        if (!switchRts(true)) {
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(driving_.delayBeforeMs));
    }
    const bool written = port_.write(bytes) == bytes.size();
    // Hand the bytes to the driver now rather than on the next event-loop turn.
    port_.flush();
    if (drivesRts) {
        // Back to receiving only once the last stop bit has left the UART,
        // or the end of the request is cut off.
#ifdef Q_OS_UNIX
        // What the driver had no room for follows as the line takes it.
        do {
            while (::tcdrain(static_cast<int>(port_.handle())) != 0 && errno == EINTR) {
            }
        } while (port_.bytesToWrite() > 0 && port_.flush());
#else
        constexpr int MaxFrameMs = 1000;
        (void)port_.waitForBytesWritten(MaxFrameMs);
#endif
        QThread::msleep(static_cast<unsigned long>(driving_.delayAfterMs));
        (void)switchRts(false);
    }
    return written;
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
