#include "model/SensorList.h"

#include "model/Errors.h"
#include "model/Speeds.h"

#include <algorithm>
#include <limits>

namespace kelvar {

void clsSensorList::Add() {
    constexpr int Full = std::numeric_limits<std::int16_t>::max();
    if (Count() == Full) {
        throw SubscriptOutOfRange("sensor number", Full + 1, 0, Full);
    }
    rows_.push_back(current_);
    sensorNumber_ = Count();
}

void clsSensorList::setSensorNumber(int value) {
    if (value < 0) {
        throw SubscriptOutOfRange("sensor number", value, 0, Count());
    }
    sensorNumber_ = static_cast<std::int16_t>(value <= Count() ? value : 0);
    current_ = rows_[sensorNumber_];
}

void clsSensorList::Clear() {
    rows_.assign(1, Row{});
    current_ = rows_.front();
    sensorNumber_ = 0;
}

std::int16_t clsSensorList::ActiveCount() const {
    return static_cast<std::int16_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.active; }));
}

std::int16_t clsSensorList::FirstActive() const {
    for (std::size_t i = 1; i < rows_.size(); ++i) {
        if (rows_[i].active) {
            return static_cast<std::int16_t>(i);
        }
    }
    return 0;
}

int clsSensorList::RowOf(int iSensor) const {
    if (iSensor == -1) {
        return sensorNumber_;
    }
    if (iSensor < 0 || iSensor > Count()) {
        throw SubscriptOutOfRange("sensor number", iSensor, 0, Count());
    }
    return iSensor;
}

QString clsSensorList::PortText(int iSensor) const {
    const Row& row = rows_[RowOf(iSensor)];
    return QStringLiteral("Comm %1 @ %2K")
        .arg(row.port)
        .arg(QLatin1String(SpeedTable[ValidSpeedIndex(row.baudRate)].speedText));
}

QString clsSensorList::SensorText(int iSensor) const {
    const int number = RowOf(iSensor);
    return QStringLiteral("#%1 -(%2) ").arg(number).arg(rows_[number].serial);
}

} // namespace kelvar
