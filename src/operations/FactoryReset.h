#pragma once

namespace kelvar {

class clsSensorData;
class cPrompter;
class cSession;

// What the factory reset changed, so that the caller can redraw it.
enum class FactoryReset {
    Declined,               // nothing changed
    Parameters,             // edited parameter values
    ParametersAndSetpoints, // edited parameter values and setpoints 0 to MaxSetpoints
};

// The factory reset: after the user confirms, puts the factory values into
// the edited column of the parameters (keeping address, baud rate, zero
// adjust, null zero, loop time and sensor length) and, on a second
// confirmation, default setpoints. Nothing is sent to the sensor.
FactoryReset LoadDefaultValues(clsSensorData& data, cPrompter& prompter);
// The same on the session's sensor, asking through its view; afterwards the
// setpoint display shows setpoint 0 with its new values. The cylinder does
// not move.
FactoryReset LoadDefaultValues(cSession& session);

} // namespace kelvar
