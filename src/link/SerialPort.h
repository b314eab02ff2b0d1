#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <algorithm>
#include <functional>
#include <memory>

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

enum class OpenFailure {
    None,
    NotFound,
    Busy,
    NoPermission,
    BadSettings,
    // The port cannot switch its RS-485 transmitter the way cLineDriver asks.
    LineDriverUnsupported,
    Other,
};

// How the transmitter of an RS-485 transceiver is switched on for a request
// and off again for the answer. USB adapters switch by themselves (Off); a
// UART on a board needs the kernel's RS-485 mode, or RTS switched by the
// program around each request.
struct cLineDriver {
    enum class Mode { Off, Kernel, Rts };
    static constexpr int MaxDelayMs = 1000;

    Mode mode = Mode::Off;
    // RTS set while sending and cleared after, or the other way round.
    bool rtsHighOnSend = true;
    // RTS at its sending level this long before the first byte, and kept
    // there this long after the last.
    int delayBeforeMs = 0;
    int delayAfterMs = 0;

    bool operator==(const cLineDriver&) const = default;
};

// The settings one at a time as text, as the command line and the settings
// file give them.
enum class LineDriverField { Mode, RtsOnSend, DelayBeforeMs, DelayAfterMs };

// The mode names in the order of the window's choice, with its captions.
struct LineDriverModeName {
    cLineDriver::Mode mode;
    const char* name;
    const char* caption;
};
inline constexpr LineDriverModeName LineDriverModes[] = {
    {cLineDriver::Mode::Off, "off", "Off (USB adapters switch by themselves)"},
    {cLineDriver::Mode::Kernel, "kernel", "The kernel's RS-485 mode"},
    {cLineDriver::Mode::Rts, "rts", "RTS switched by the program"},
};

// Takes one field from text: a mode name ("off", "kernel", "rts"), the level
// of RTS while sending ("high", "low"), or a delay of 0 to 1000 ms; letter
// case does not count. Returns why the text is refused, empty when taken; a
// refused text leaves `driver` as it was.
QString ParseLineDriverField(cLineDriver& driver, LineDriverField field, const QString& text);
// The text ParseLineDriverField takes back, for saving the settings.
QString LineDriverFieldText(const cLineDriver& driver, LineDriverField field);

// One serial port: 8 data bits, no parity, 1 stop bit, no handshaking,
// request-to-send on unless the line driver switches it, received NUL
// characters discarded.
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
    // Makes ports of this kind, leading to the same devices with the same
    // line driver, in the thread that calls it: it holds copies, not this port.
    using Maker = std::function<std::unique_ptr<cSerialPort>()>;
    virtual Maker maker() const = 0;

    // How open() sets up the RS-485 transmitter; it counts from the next
    // open(). Delays are held to 0 to cLineDriver::MaxDelayMs.
    void setLineDriver(cLineDriver driver) {
        driver.delayBeforeMs = std::clamp(driver.delayBeforeMs, 0, cLineDriver::MaxDelayMs);
        driver.delayAfterMs = std::clamp(driver.delayAfterMs, 0, cLineDriver::MaxDelayMs);
        lineDriver_ = driver;
    }
    const cLineDriver& lineDriver() const { return lineDriver_; }

    // All waiting input, NUL characters removed.
    QByteArray readAll() {
        QByteArray bytes = readPending();
        bytes.removeIf([](char c) { return c == '\0'; });
        return bytes;
    }

    OpenFailure failure() const { return failure_; }
    // Why the last open failed, in words for the status text.
    const QString& failureText() const { return failureText_; }
    // What the user should know once about the port the last open() opened
    // (a USB adapter that keeps its latency), in words; empty when nothing.
    // It stays until the next open(): showing it once is the caller's part.
    const QString& notice() const { return notice_; }

signals:
    void portEvent(kelvar::PortEvent event);

protected:
    virtual QByteArray readPending() = 0;
    void setFailure(OpenFailure failure, const QString& text) {
        failure_ = failure;
        failureText_ = text;
    }
    void setNotice(const QString& text) { notice_ = text; }

private:
    OpenFailure failure_ = OpenFailure::None;
    QString failureText_;
    QString notice_;
    cLineDriver lineDriver_;
};

} // namespace kelvar
