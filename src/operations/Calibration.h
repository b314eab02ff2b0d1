#pragma once

#include "model/SensorData.h"
#include "operations/Editing.h"

#include <QChar>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace kelvar {

class cSession;

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

// The Calibration tab (with "/cal"): zero adjust and null zero written at
// once, the automatic zero adjust with the test magnet, the target set to the
// position or the sensor's midpoint, and calibration mode itself.
class cCalibrationFlow : public QObject {
    Q_OBJECT
public:
    explicit cCalibrationFlow(cSession& session);

    bool CalibrationMode() const { return mode_; }
    // The "Calibrate Sensor" menu item's check mark.
    void SetCalibrationMode(bool on);
    // At start, from the command line and the settings: the mode and whether
    // its tab shows; nothing is sent.
    void SetModeAtStart(bool on);

    // --- one parameter written at once, outside Apply (calibration, kelvar-cli param)
    struct ImmediateWrite {
        bool mode5 = true;                // the sensor went into its write mode: the value was sent
        std::optional<std::int32_t> held; // what the sensor answered it holds
    };
    // Puts the sensor into its write mode, writes the value and reads it
    // back. Only an answer of the sensor's goes into the record: both columns
    // become what it holds, or, when it did not answer, keep the value last
    // read. The requests that failed are left for the caller.
    ImmediateWrite WriteParameterNow(int reg, std::int32_t value);

    // Enter or Tab in a calibration field: the typed value is written, or the
    // field goes back to the value the sensor holds.
    void EnterCalibrationValue(CalibrationField field, const QString& text);
    // An up-down click: the edited value moved by step and written at once.
    void StepCalibrationValue(CalibrationField field, int step);
    // "Auto Zero Adjust": asks first; only answered position readings of the
    // test magnet count; on any failure the zero adjust it started from is
    // put back.
    void AutoZeroAdjust();
    // The target set to this click's position reading (only with motion
    // enabled), or to the middle of the sensor.
    void SetTargetToPosition();
    void SetTargetToMidpoint();

signals:
    // A calibration value was written or refused: its field shows what the
    // sensor holds.
    void calibrationChanged();

private:
    // Writes the zero adjust / null zero (counts) at once and reads it back.
    // A value outside the limits is not sent; a write the sensor did not
    // confirm is told.
    void SetCalibrationValue(CalibrationField field, std::int32_t value);

    cSession& session_;
    bool mode_ = false;
};

} // namespace kelvar
