#pragma once

#include <QString>
#include <array>

namespace kelvar {

class clsSensorData;

// The Limits tab's drawing of the cylinder: four labels around it and two
// in-position window labels below.
struct PictographView {
    std::array<QString, 4> labels;
    std::array<QString, 2> windowLabels;
    bool mirrored = false; // "Extend to 0": the drawing and the labels swap
};

enum class PictoQuantity { ZeroAdjust, SensorLength, MaxLimit, MinLimit, InPositionWindow };

PictographView Pictograph(const clsSensorData& data);

// The label position (0 to 3) of a quantity for the readout direction; -1
// for the in-position window, which has its own two labels.
int PictographLabel(PictoQuantity quantity, bool mirrored);

// The quantity a Limits-tab number field edits, by register; false when the
// register has no label in the drawing.
bool PictographQuantityOf(int reg, PictoQuantity* quantity);

} // namespace kelvar
