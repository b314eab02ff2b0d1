#include "model/Limits.h"

#include "model/Numbers.h"
#include "model/SensorData.h"

#include <algorithm>

namespace kelvar {

namespace {

// What the sensor's four-hex-digit fields hold.
constexpr std::int32_t FieldMax = 65535;
// 40.00 in hundredths and 400.0 in tenths alike.
constexpr std::int32_t VelocityMax = 4000;

std::int32_t SensorLengthCounts(const clsSensorData& data) {
    const std::int32_t length =
        data.ReadParameterData(Param::SensorLength, clsSensorData::SensorDataColumn);
    return length > 0 ? length : FieldMax;
}

} // namespace

ValueLimits ParameterLimits(const clsSensorData& data, int index) {
    const auto edited = [&data](int row) {
        return data.ReadParameterData(row, clsSensorData::ChangedDataColumn);
    };
    switch (index) {
    case Param::MinimumTravel:
        return {0, std::max(0, edited(Param::MaximumTravel))};
    case Param::MaximumTravel:
        return {std::max(0, edited(Param::MinimumTravel)), SensorLengthCounts(data)};
    case Param::InPositionWindow:
        return {1, std::max<std::int32_t>(1, static_cast<std::int32_t>(RoundHalfEven(
                                                 edited(Param::MaximumTravel) / 2.0)))};
    default:
        return {data.ReadParameterData(index, clsSensorData::MinColumn),
                data.ReadParameterData(index, clsSensorData::MaxColumn)};
    }
}

ValueLimits SetpointFieldLimits(int field) {
    return {0, field == 1 ? VelocityMax : FieldMax};
}

ValueLimits SetpointLimits(const clsSensorData& data, int field) {
    ValueLimits limits = SetpointFieldLimits(field);
    if (field == 0) {
        limits.high = std::min(limits.high, SensorLengthCounts(data));
    }
    return limits;
}

bool IsWritableParameter(const clsSensorData& data, int index) {
    const std::int32_t type = data.ReadParameterData(index, clsSensorData::DataTypeColumn);
    return type == clsSensorData::OrdinaryType || type == clsSensorData::CyclePowerType;
}

bool IsMarkedParameter(int index) {
    return index == Param::Address || index == Param::BaudRate || index == Param::RunMode;
}

QString LimitsText(const ValueLimits& limits) {
    return QStringLiteral("%1 to %2").arg(limits.low).arg(limits.high);
}

} // namespace kelvar
