#pragma once

#include <QString>
#include <array>
#include <optional>

namespace kelvar {

class cView;

// The once-per-run cautions, by number.
inline constexpr int ZeroAdjustCaution = 1; // the zero adjust field gets the focus
inline constexpr int SensorNameCaution = 2; // the sensor name field gets the focus

struct Caution {
    QString text;
    QString cautionLine; // empty when there is none
};
// The texts of a caution, or nothing for an unknown number.
std::optional<Caution> CautionTexts(int number);

// The once-per-run information messages. Each has a show setting (kept with
// the settings); the user turns it off with "Do not show this message again".
class cCautions {
public:
    static constexpr int Count = 6;

    // The settings' information flags; the cautions read and clear them.
    explicit cCautions(std::array<bool, Count>& showSettings) : show_(showSettings) {}

    // Shows caution `number` unless it was shown in this run or its setting
    // is off; an unknown number shows nothing.
    void ShowCaution(int number, cView& view);
    // "Restore All Warnings".
    void RestoreAll() { show_.fill(true); }

private:
    std::array<bool, Count>& show_;
    std::array<bool, Count> shownThisRun_{};
};

} // namespace kelvar
