#pragma once

#include "link/SensorLink.h"
#include "operations/StatusTexts.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace kelvar {

// The lines of the communications status panel: good text, bad text.
inline constexpr std::array<IndicatorTexts, 6> CommLineTexts = {{
    {"Communications OK", "Communications Error", ""},
    {"Sensor Online", "Sensor Not Responding", ""},
    {"Comm Port Open", "Error Opening Comm Port ", ""},
    {"Rx OK", "Rx Error", ""},
    {"No CRC Errors", "CRC ERROR", ""},
    {"Tx OK", "Tx ERROR", ""},
}};

// The communications status panel without its widgets: six lights with
// captions, three counters and the port line.
class cCommStatus {
public:
    static constexpr int LineCount = 6;
    static constexpr int PortLine = 2;
    // Colour values as the panel has always stored them (blue-green-red order).
    static constexpr std::int32_t Green = 0x00FF00;
    static constexpr std::int32_t Red = 0x0000FF;

    struct Line {
        bool green = true;
        QString caption;
        // The other text of the pair, swapped in when the light changes.
        QString spare;
        std::int32_t colour() const { return green ? Green : Red; }
    };

    cCommStatus();

    // Brings the panel up to date with the link. Returns a mask of the lines
    // whose light or caption changed (bit i for line i); a line that stays as
    // it is is not touched. While a power cycle is pending, the first line's
    // good text says so.
    unsigned Show(cSensorLink& link, bool powerCyclePending = false);

    const Line& line(int index) const;
    // 0 receive total, 1 CRC errors, 2 transmit total.
    const QString& errorText(int index) const;
    const QString& portStatus() const { return portStatus_; }

private:
    std::array<Line, LineCount> lines_;
    std::array<QString, 3> errorTexts_;
    QString portStatus_;
};

} // namespace kelvar

namespace kelvar {

// The packet texts of the Communications tab, from the link's last exchange.
struct LinkDisplay {
    QString txData;       // address letter, command and CRC of the last request
    QString rxData;       // the characters of the last frame received
    QString packetTime;   // "#.0 msec"
    QString intervalTime; // "#.0 msec"
    QString infoDelay;    // packet-information panel "Delay:"
    QString infoPacketTime;
    QString infoTimeout;
};
LinkDisplay DescribeLink(const cSensorLink& link);

// "    25 mSec" ...: the entries of the time-out and packet-delay selectors.
QStringList TimeoutSelectorTexts();
QStringList IntervalSelectorTexts();

// The communications label after a request went unanswered.
QString CommandErrorText(QByteArrayView commandText);

} // namespace kelvar
