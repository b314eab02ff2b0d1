#pragma once

#include "link/PortNames.h"
#include "link/SerialPort.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kelvar {

// What the program can tell the user about the device behind one Comm
// number: what it is, and whether it opens.
struct PortReport {
    enum class State {
        Opens,
        // Refused because this very process holds it (the window's own port).
        InUseHere,
        Refused,
    };

    int comm = 0;
    QString device;      // as the port names give it
    bool mapped = false; // an explicit N=DEVICE mapping, not the system's order
    QString node;        // the device node `device` leads to, when it is a link
    QString byId;        // a /dev/serial/by-id name for it, when it is not `device` itself
    QString driver;      // the kernel driver behind it ("ftdi_sio", "cdc_acm")
    QString usbId;       // "0403:6001"
    QString usbName;     // manufacturer and product, as the adapter names them
    std::optional<int> latencyTimerMs;
    State state = State::Refused;
    QString failure; // why it does not open
    QString notice;  // what opening it has to say (a USB adapter that kept its latency)
};

// The device behind Comm `comm`, opened with the program's own port and
// `driver` and closed again at once; empty `device` when the number has none.
PortReport InspectPort(int comm, const cPortNames& names, const cLineDriver& driver = {});
// Every Comm number that has a device, in order.
QList<PortReport> InspectPorts(const cPortNames& names, const cLineDriver& driver = {});
// A short block of lines for a person: the Comm number and device first,
// then what is known of it, then whether it opens.
QStringList DescribePort(const PortReport& report);

} // namespace kelvar
