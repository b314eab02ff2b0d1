#pragma once

#include "model/SensorData.h"
#include "operations/Editing.h"

#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

namespace kelvar {

// The two values of the Calibration tab that are written to the sensor at
// once, outside the edit-and-apply of the other tabs.
enum class CalibrationField {
    ZeroAdjust, // typed in inches, held in counts
    NullZero,   // typed and held in counts
};

// The parameter a calibration field writes.
int CalibrationRegister(CalibrationField field);

// What the instruction label says while the field has the focus (CR LF
// line breaks).
QString CalibrationInstructions(CalibrationField field);

// Digits and Backspace always; the zero adjust also takes "." and "-".
// Enter (and Tab, which the window passes as Enter) commits: MoveOn.
KeyAction FilterCalibrationKey(CalibrationField field, QChar key);

// The field's text for the value as read from the sensor: the zero adjust
// in inches, the null zero as a plain number of counts.
QString CalibrationFieldText(clsSensorData& data, CalibrationField field);

// The counts a typed text stands for, when it may be written: within the
// parameter's limits, both ends excluded. Empty when the text is refused.
std::optional<std::int32_t> CalibrationEntry(const clsSensorData& data, CalibrationField field,
                                             const QString& text);

// The auto-null window field and its note, as the edited cylinder type and
// AutoNull box have them: the window is entered only for a pneumatic
// cylinder with AutoNull enabled.
struct AutoNullView {
    bool windowEnabled = false;
    QString note; // CR LF line breaks
};
AutoNullView AutoNullControls(const clsSensorData& data);

} // namespace kelvar
