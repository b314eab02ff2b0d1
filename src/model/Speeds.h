#pragma once

#include <QtGlobal>
#include <array>

namespace kelvar {

struct SpeedEntry {
    qint32 baud;
    const char* caption;      // the speed option's caption
    const char* lineSettings; // baud, parity, data bits, stop bits
    const char* speedText;    // as shown in "Comm n @ 115.2K"
};

inline constexpr std::array<SpeedEntry, 4> SpeedTable = {{
    {115200, "115.2K", "115200,n,8,1", "115.2"},
    {57600, "57.6K", "57600,n,8,1", "57.6"},
    {38400, "38.4K", "38400,n,8,1", "38.4"},
    {19200, "19.2K", "19200,n,8,1", "19.2"},
}};

// An index outside the table means the first speed.
constexpr int ValidSpeedIndex(int index) {
    return index >= 0 && index < static_cast<int>(SpeedTable.size()) ? index : 0;
}

// -1 when the rate is not one the sensors use.
constexpr int SpeedIndexOfBaud(qint32 baud) {
    for (int i = 0; i < static_cast<int>(SpeedTable.size()); ++i) {
        if (SpeedTable[i].baud == baud) {
            return i;
        }
    }
    return -1;
}

// The sensor's BAUD RATE parameter counts the other way: 1 is 19.2K and 4
// is 115.2K. Any other value means the first speed.
constexpr int SpeedIndexOfBaudCode(int code) {
    return code >= 1 && code <= 3 ? 4 - code : 0;
}
constexpr int BaudCodeOfSpeedIndex(int index) {
    return 4 - ValidSpeedIndex(index);
}

} // namespace kelvar
