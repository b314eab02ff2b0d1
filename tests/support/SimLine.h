#pragma once

#include "link/SensorLink.h"
#include "sim/SimNetwork.h"
#include "sim/SimSerialPort.h"

#include <gtest/gtest.h>

namespace kelvar::test {

// A link open on Comm 1 at 115.2K to a simulated line that has no sensor
// until a test adds one; requests go to address 1, each asked once unless a
// test sets retries.
struct SimLine {
    SimLine() {
        link.PortNames.setDevice(1, QStringLiteral("sim"));
        EXPECT_TRUE(link.OpenPort(1, 0));
        link.CurrentAddress = 1;
        link.Retries = 0;
    }

    sim::SimNetwork network;
    sim::SimSerialPort port{network, {QStringLiteral("sim")}};
    cSensorLink link{port};
};

// The reply to a parameter request that its own answer, holding `value`, ended.
inline cSensorLink::Reply ParameterAnswer(std::int32_t value) {
    return {cSensorLink::Outcome::Answered, DecodedAnswer{AnswerGroup::Parameter, value}};
}

} // namespace kelvar::test
