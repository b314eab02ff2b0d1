#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace kelvar::sim {

inline constexpr int IdentityRecordLength = 54;

// What makes one simulated sensor itself: where it listens on the line and
// what its identity record says.
struct SensorConfig {
    int address = 1;
    qint32 baud = 115200;
    QByteArray model = "AM-1000"; // up to 8 printable characters
    int firmwareDay = 5;          // 1 to 31
    QByteArray firmwareMonth = "MAR";
    int firmwareYear = 4;                 // two digits, 0 to 99
    QByteArray version = "2.4";           // up to 3 printable characters
    QByteArray serialNumber = "10000001"; // 1 to 12 decimal digits
    // Decimal text as the record carries it: at most 6 characters, 0.00001 to 0.02.
    QByteArray resolution = "0.001";
    QByteArray units = "in";  // "in" or "mm"
    int lengthCounts = 24000; // 1 to 65535
    int startCounts = 0;      // where the cylinder rests at power-up, 0 to lengthCounts

    // Empty when the sensor can be built from this; otherwise what is wrong.
    QString problem() const;
    double resolutionValue() const { return resolution.toDouble(); }
    // The 54 characters that the F command reads.
    QByteArray identityRecord() const;
};

struct ParsedSensorText {
    SensorConfig config;
    QString error; // empty when the text was taken
    bool ok() const { return error.isEmpty(); }
};

// ADDR[:BAUD][,key=value]... with the keys serial, length, res, units, model,
// version and date (DDMMMYY, e.g. 05MAR04). Without serial= the serial number
// is 10000000 plus the address, so that sensors on one line differ.
ParsedSensorText ParseSensorText(QStringView text);

// The sensor's own code for its line speed (parameter 56): 4 for 115200,
// 3 for 57600, 2 for 38400, 1 for 19200; 0 for any other rate.
int BaudCode(qint32 baud);
// 0 for a code outside 1 to 4.
qint32 BaudOfCode(int code);

} // namespace kelvar::sim
