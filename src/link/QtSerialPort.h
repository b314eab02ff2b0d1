#pragma once

#include "link/SerialPort.h"

#include <QSerialPort>

namespace kelvar {

// The real serial port, over QSerialPort.
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

    QSerialPort port_;
    QString device_;
};

// What the user is told when a device cannot be opened. `accessible` says
// whether this process may read and write the device node; `group` is the
// node's group, the one the user must join when it may not.
struct OpenDiagnosis {
    OpenFailure failure;
    QString text;
};
OpenDiagnosis DiagnoseOpenFailure(const QString& device, bool exists, bool accessible,
                                  const QString& group);

} // namespace kelvar
