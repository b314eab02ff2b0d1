#pragma once

#include "link/Framing.h"
#include "sim/SimNetwork.h"

#include <QByteArray>
#include <QList>
#include <cstddef>

namespace kelvar::test {

// A sensor at this address and speed, all else as a new sensor has it.
inline sim::SensorConfig SensorAt(int address, qint32 baud = 115200) {
    sim::SensorConfig config;
    config.address = address;
    config.baud = baud;
    return config;
}

// A field of a request: `value` in upper-case hexadecimal, `digits` wide.
inline QByteArray Hex(int value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

// The command texts (no address letter, no CRC) of the requests the line
// saw from log entry `from` on; with an address, only those sent to it.
inline QList<QByteArray> CommandTexts(const sim::SimNetwork& network, std::size_t from = 0,
                                      int address = 0) {
    QList<QByteArray> texts;
    const auto& log = network.log();
    for (std::size_t i = from; i < log.size(); ++i) {
        const QByteArray& request = log[i].request;
        if (address == 0 || request.at(0) == AddressLetter(address)) {
            texts.append(request.mid(1, request.size() - 1 - CrcDigits));
        }
    }
    return texts;
}

} // namespace kelvar::test
