#pragma once

#include "link/SerialPort.h"

#include <QLockFile>
#include <QSerialPort>
#include <memory>

namespace kelvar {

// What the system says about a device node, to tell the user why it cannot
// be used.
struct DeviceNode {
    bool exists = false;
    bool serial = false;     // a character device, not a file or a directory
    bool accessible = false; // this process may read and write it
    bool groupReadWrite = false;
    unsigned groupId = 0;
    QString group;
    QString holder; // the program holding it: "kelvar-cli (process 1234)"
};
DeviceNode InspectDevice(const QString& device);

struct OpenDiagnosis {
    OpenFailure failure;
    QString text;
};
OpenDiagnosis DiagnoseOpenFailure(const QString& device, const DeviceNode& node);

// The real serial port, over QSerialPort. A device is held by one program at
// a time, whatever name each gives it (a /dev/serial/by-id link, a pty's
// symbolic link).
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

protected:
    QByteArray readPending() override;

private:
    void onError(QSerialPort::SerialPortError error);
    // Takes the just-opened device for this process alone; false, with the
    // port closed, when another program holds it.
    bool claimDevice();
    // Fails the open with the reason the node gives.
    bool refuse(const DeviceNode& node);

    QSerialPort port_;
    QString device_;
    // Names this process to a program that is refused the device.
    std::unique_ptr<QLockFile> holderFile_;
};

} // namespace kelvar
