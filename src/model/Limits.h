#pragma once

#include <QString>
#include <cstdint>

namespace kelvar {

class clsSensorData;

// The range a value must keep to before it may be written to a sensor.
struct ValueLimits {
    std::int32_t low = 0;
    std::int32_t high = 0;
    bool Contains(std::int32_t value) const { return value >= low && value <= high; }
};

// An edited parameter's limits: the table's, except that the travel limits
// and the in-position window are held against each other's edited values
// and against the sensor's length, so that a consistent set from a file of
// another sensor passes as a whole.
ValueLimits ParameterLimits(const clsSensorData& data, int index);

// What a setpoint field (0 target, 1 velocity, 2 dwell) can hold: a target or
// a dwell up to 65535, all that four hex digits carry on the wire; a velocity
// up to 40.00 or 400.0 in user units. Nothing beyond it is taken, whether
// typed, loaded or sent.
ValueLimits SetpointFieldLimits(int field);
// An edited setpoint field's limits before it is written: the field's, and a
// target within the sensor's length.
ValueLimits SetpointLimits(const clsSensorData& data, int field);

// Parameters that are written to the sensor (ordinary and power-cycle
// types); the read-only and unused ones never are.
bool IsWritableParameter(const clsSensorData& data, int index);

// A change to one of these moves the sensor to another address, speed or
// way of running: the user must see it before it is written.
bool IsMarkedParameter(int index);

// "0 to 26" and the like, for messages.
QString LimitsText(const ValueLimits& limits);

} // namespace kelvar
