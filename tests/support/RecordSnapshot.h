#pragma once

#include "model/SensorData.h"

#include <QStringList>
#include <cstdint>
#include <vector>

namespace kelvar::test {

// Everything a sensor record holds, so that a check can tell whether a
// load or a read changed it.
struct RecordSnapshot {
    std::vector<std::int32_t> parameters;
    std::vector<std::int32_t> setpoints;
    QStringList texts; // names, then the identity block
    float resolution = 0;
    int maxSetpoints = 0;
    bool dataIsLoaded = false;

    bool operator==(const RecordSnapshot&) const = default;
};

inline RecordSnapshot Snapshot(const clsSensorData& data) {
    // Reading a setpoint makes it the current one: read a copy.
    clsSensorData copy = data;
    RecordSnapshot shot;
    for (int row = 0; row < clsSensorData::Rows; ++row) {
        for (int column = 0; column < clsSensorData::Columns; ++column) {
            shot.parameters.push_back(copy.ReadParameterData(row, column));
            shot.setpoints.push_back(copy.ReadSetpointData(row, column));
        }
        shot.texts << copy.ReadParameterName(row, 0) << copy.ReadParameterName(row, 1);
    }
    shot.texts << copy.InfoBlock() << copy.Model() << copy.FirmwareDate() << copy.Version()
               << copy.SerialNumber() << copy.Units() << copy.Description();
    shot.resolution = copy.Resolution();
    shot.maxSetpoints = copy.MaxSetpoints();
    shot.dataIsLoaded = copy.DataIsLoaded();
    return shot;
}

} // namespace kelvar::test
