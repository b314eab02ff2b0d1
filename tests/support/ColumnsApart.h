#pragma once

#include "support/SimSession.h"

#include <array>

namespace kelvar::test {

// A value the user has edited and not applied: the sensor, and so the read
// column, holds `read`; the edited column holds `edited`. A flow that takes
// the wrong one of the two sends or shows something else.
struct ApartValue {
    int reg;
    std::int32_t read;
    std::int32_t edited;
};
inline constexpr std::array<ApartValue, 5> ColumnsApart = {{
    {Param::MinimumTravel, 250, 1250},
    {Param::MaximumTravel, 12000, 20000},
    {Param::SensorLength, 24000, 20000},
    {Param::ZeroAdjust, 500, 700},
    {Param::ReadoutDirection, 1, 0},
}};

// The record as a read of such a sensor and the user's edits leave it.
inline void FillColumnsApart(clsSensorData& data) {
    for (const ApartValue& v : ColumnsApart) {
        data.WriteParameterData(v.reg, clsSensorData::SensorDataColumn, v.read);
        data.WriteParameterData(v.reg, clsSensorData::ChangedDataColumn, v.edited);
    }
}

class ColumnsApartTest : public SimSessionTest {
protected:
    // Sensor 1 holding the read values, resting 2000 counts out with its
    // velocity 0 so that it stays there; read, its monitor stopped, then
    // edited.
    sim::SimSensor& ReadApart() {
        sim::SimSensor& sim = AddSensor(1, 115200, 2000);
        sim.Respond("K0000", 0);
        for (const ApartValue& v : ColumnsApart) {
            sim.setParameter(v.reg, static_cast<std::uint16_t>(v.read));
        }
        ListAndRead(1);
        for (const ApartValue& v : ColumnsApart) {
            session.sensor.WriteParameterData(v.reg, clsSensorData::ChangedDataColumn, v.edited);
        }
        return sim;
    }
};

} // namespace kelvar::test
