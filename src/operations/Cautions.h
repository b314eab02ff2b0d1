#pragma once

#include <array>

namespace kelvar {

class cView;

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
