#pragma once

#include "model/SensorData.h"

#include <QList>
#include <QSet>
#include <QString>
#include <cstdint>

namespace kelvar {

// One value Apply writes. The review shows these, Apply writes exactly these
// in their order, and kelvar-cli prints and writes the same ones.
struct PlannedWrite {
    int parameter = -1;     // the parameter's number; -1 for a setpoint field
    int setpoint = -1;      // the setpoint's index (0 to 59); -1 for a parameter
    int field = 0;          // a setpoint's target, velocity or dwell (0 to 2)
    QString item;           // "Extend Gain", "Setpoint 5 target"
    std::int32_t held = 0;  // what the sensor holds, in counts or codes
    std::int32_t value = 0; // what is written
    QString heldText;       // both as people read them: "5.000 in", "57.6K"
    QString valueText;
    bool heldUnread = false; // the sensor's value was not read: its request went unanswered
    QString powerCycle;      // why the sensor's power must be cycled after it; empty when not
    QString refusal;         // why it will not be written; empty when it will

    bool WillBeWritten() const { return refusal.isEmpty(); }
    // "Setpoint 5 target: 5.000 in -> 5.500 in", with why it needs a power
    // cycle or why it will not be written after it.
    QString Text() const;
    // The same in counts and codes for scripts: "Setpoint 5 target: 5000 5500".
    QString RawText() const;
};
using WritePlan = QList<PlannedWrite>;

// Every edited parameter that differs from what the sensor holds, in
// register order, then every setpoint with an edited field, all three of its
// fields (a setpoint is written whole or not at all). `unread*` name the
// values the last read did not get.
WritePlan PlanWrites(clsSensorData& data, const QSet<int>& unreadParameters,
                     const QSet<int>& unreadSetpoints);

// A value of the planned write's parameter or setpoint field as people read it.
QString PlannedValueText(const clsSensorData& data, const PlannedWrite& write, std::int32_t value);

// A parameter's value as people read it: a length in the sensor's units, an
// option by its caption, anything else as the number it is.
QString ParameterValueText(const clsSensorData& data, int parameter, std::int32_t value);

} // namespace kelvar
