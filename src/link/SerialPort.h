#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kelvar {

// What the port reports. Data and line errors arrive through the event loop,
// never from inside write().
enum class PortEvent {
    DataReceived,
    FramingError,
    Overrun,
    ReceiveOverflow,
    ParityError,
    TransmitFull,
    DeviceControlError,
    // The device went away while open (a USB adapter pulled out).
    DeviceRemoved,
};

enum class OpenFailure { None, NotFound, Busy, NoPermission, BadSettings, Other };

// One serial port: 8 data bits, no parity, 1 stop bit, no handshaking,
// request-to-send on, received NUL characters discarded.
class cSerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Closes first when open. Returns false, with a reason kept for
    // failureText(), when the port cannot be opened at this speed.
    virtual bool open(const QString& device, qint32 baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Hands the bytes to the port; false when nothing could be written.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QString deviceName() const = 0;

    // All waiting input, NUL characters removed.
    QByteArray readAll() {
        QByteArray bytes = readPending();
        bytes.removeIf([](char c) { return c == '\0'; });
        return bytes;
    }

    OpenFailure failure() const { return failure_; }
    // Why the last open failed, in words for the status text.
    const QString& failureText() const { return failureText_; }

signals:
    void portEvent(kelvar::PortEvent event);

protected:
    virtual QByteArray readPending() = 0;
    void setFailure(OpenFailure failure, const QString& text) {
        failure_ = failure;
        failureText_ = text;
    }

private:
    OpenFailure failure_ = OpenFailure::None;
    QString failureText_;
};

} // namespace kelvar
