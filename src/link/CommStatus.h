#pragma once

#include "model/BitMap.h"

#include <QString>
#include <array>
#include <cstdint>

namespace kelvar {

using ErrorCounters = std::array<std::int32_t, 6>;

// The communications status panel without its widgets: six lights with
// captions, three counters and the port line.
class cCommStatus {
public:
    static constexpr int LineCount = 6;
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

    // Brings the panel up to date. Returns a mask of the lines whose light
    // or caption changed (bit i for line i); a line that stays as it is is
    // not touched. While a power cycle is pending, the first line's good
    // text says so.
    unsigned Show(const clsBitMap& stateFlags, const clsBitMap& statusWord,
                  const ErrorCounters& rxErrors, const ErrorCounters& txErrors,
                  const QString& portDescription, bool powerCyclePending = false);

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
