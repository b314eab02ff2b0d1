#pragma once

#include "link/SerialPort.h"

#include <QList>
#include <QLockFile>
#include <QSerialPort>
#include <memory>
#include <optional>

namespace kelvar {

// A process that has a device open.
struct DeviceHolder {
    QString program;
    qint64 pid = 0;
};

// What the system says about a device node, to tell the user why it cannot
// be used.
struct DeviceNode {
    bool exists = false;
    bool serial = false;     // a character device, not a file or a directory
    bool accessible = false; // this process may read and write it
    bool groupReadWrite = false;
    unsigned groupId = 0;
    QString group;
    // The programs holding it, as far as this process may see.
    QList<DeviceHolder> holders;
    // A service known to take serial ports (ModemManager) that holds it,
    // or that runs when no holder can be seen.
    QString grabber;
};
// Looking for the holders reads every process's open files: worth it only
// when the device is refused as held.
enum class Holders { Skip, Find };
DeviceNode InspectDevice(const QString& device, Holders holders = Holders::Find);

struct OpenDiagnosis {
    OpenFailure failure;
    QString text;
};
OpenDiagnosis DiagnoseOpenFailure(const QString& device, const DeviceNode& node);

// The kernel's directory for the hardware behind a tty device
// ("/sys/class/tty/ttyUSB0/device"); empty when there is none (a
// pseudo-terminal, or not Linux).
QString TtyHardwareDir(const QString& device);
// A USB adapter's latency_timer in ms, where the kernel shows one.
std::optional<int> LatencyTimerMs(const QString& device);

// The real serial port, over QSerialPort. A device is held by one program at
// a time, whatever name each gives it (a /dev/serial/by-id link, a pty's
// symbolic link). The line driver's kernel mode exists only on Linux.
class cQtSerialPort : public cSerialPort {
    Q_OBJECT
public:
    explicit cQtSerialPort(QObject* parent = nullptr);
    ~cQtSerialPort() override;

    bool open(const QString& device, qint32 baud) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QString deviceName() const override;
    Maker maker() const override;

protected:
    QByteArray readPending() override;

private:
    void onError(QSerialPort::SerialPortError error);
    // Takes the just-opened device for this process alone; false, with the
    // port closed, when another program holds it.
    bool claimDevice();
    // Fails the open with the reason the node gives.
    bool refuse(const DeviceNode& node);
    // Sets up the RS-485 transmitter as lineDriver() says; false, with the
    // port closed, when the device cannot do it.
    bool setUpLineDriver();
    // Fails the open, closing the port, because the line driver cannot be set.
    bool refuseLineDriver(const QString& text);
    // The kernel's RS-485 settings as found, put back on close.
    void restoreKernelRs485();
    // RTS to the level for sending (true) or for receiving.
    bool switchRts(bool sending);

    QSerialPort port_;
    QString device_;
    // Names this process to a program that is refused the device.
    std::unique_ptr<QLockFile> holderFile_;
    struct KernelRs485 {
        quint32 flags;
        quint32 delayBeforeMs;
        quint32 delayAfterMs;
    };
    std::optional<KernelRs485> kernelRs485Found_;
    // The line driver as the last open() set it up: a change counts from
    // the next open.
    cLineDriver driving_;
};

} // namespace kelvar
