#pragma once

#include "model/SensorData.h"

#include <QString>
#include <array>
#include <cstdint>

namespace kelvar {

// True when a target (counts) lies outside the edited travel limits: at or
// below the minimum travel, or above the maximum. A target equal to the
// maximum is inside.
bool TargetOutOfLimits(const clsSensorData& data, std::int32_t target);

// One row of the setpoint display: previous, chosen and next setpoint.
struct SetpointRowView {
    int number = 0; // as shown: the setpoint's index plus 1
    QString target;
    QString velocity;
    QString dwell;
    bool targetOutOfLimits = false; // drawn in red
};
using SetpointWindowView = std::array<SetpointRowView, 3>;

// The setpoint index wrapped into 0 .. MaxSetpoints: below 0 becomes
// MaxSetpoints, above it 0.
int WrapSetpoint(const clsSensorData& data, int index);
// The three rows around setpoint index (wrapped), from the edited columns.
SetpointWindowView SetpointWindow(clsSensorData& data, int index);

} // namespace kelvar
