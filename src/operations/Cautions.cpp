#include "operations/Cautions.h"

#include "operations/View.h"

namespace kelvar {

std::optional<Caution> CautionTexts(int number) {
    switch (number) {
    case ZeroAdjustCaution:
        return Caution{QStringLiteral("The Zero Adjust setting has been "
                                      "upgraded to use inches instead of "
                                      "counts."),
                       QStringLiteral("CAUTION: Entering counts instead of "
                                      "inches may result in position errors.")};
    case SensorNameCaution:
        return Caution{QStringLiteral("The name for this sensor is stored  "
                                      "in the registry of this computer. "
                                      "It is not stored in the sensor and will only "
                                      "be available with this program, on this computer."),
                       QString()};
    default:
        return std::nullopt;
    }
}

void cCautions::ShowCaution(int number, cView& view) {
    if (number < 0 || number >= Count) {
        return;
    }
    const auto index = static_cast<std::size_t>(number);
    if (!show_[index] || shownThisRun_[index]) {
        return;
    }
    const auto texts = CautionTexts(number);
    if (!texts) {
        return;
    }
    if (view.ShowInformation(texts->text, texts->cautionLine)) {
        show_[index] = false;
    }
    shownThisRun_[index] = true;
}

} // namespace kelvar
