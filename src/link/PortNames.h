#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace kelvar {

inline constexpr int MinPortNumber = 1;
inline constexpr int MaxPortNumber = 16;

// Turns the port numbers 1 to 16 ("Comm n") into device names. An explicit
// entry wins; otherwise the platform default: COMn on Windows, and on Linux
// the n-th of the system's serial ports in the order of OrderSystemPorts.
class cPortNames {
public:
    // "N=DEVICE" with N 1 to 16. Returns an error text, empty when taken.
    QString addMapping(const QString& mapping);
    void setDevice(int port, const QString& device);
    const QMap<int, QString>& explicitDevices() const { return explicit_; }

    // Empty when the port number is out of range or no such port exists.
    QString deviceFor(int port) const;
    // The devices of ports 1 to 16 in order, the system asked once; empty
    // where a number has none.
    QStringList devices() const;

private:
    QMap<int, QString> explicit_;
};

// USB adapters first (ttyUSB, then ttyACM), then every other kind by name
// (ttyAMA, ttyS ...), each kind by its number, so that "ttyS10" follows
// "ttyS9". The order depends only on the names, never on discovery order.
QStringList OrderSystemPorts(QStringList devices);

} // namespace kelvar
