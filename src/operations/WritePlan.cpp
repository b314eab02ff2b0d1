#include "operations/WritePlan.h"

#include "model/Limits.h"
#include "model/Parameters.h"
#include "model/Text.h"
#include "operations/Editing.h"
#include "operations/Setpoints.h"

#include <algorithm>
#include <array>

namespace kelvar {

namespace {

bool IsLength(int parameter) {
    return parameter == Param::SensorLength ||
           (FieldOfRegister(parameter) >= 0 &&
            NumberFields().at(static_cast<std::size_t>(FieldOfRegister(parameter))).unit ==
                FieldUnit::Length);
}

// Why the value cannot be written; the limits of a length in the sensor's
// units, those of a code or a count as numbers.
QString OutsideLimits(const clsSensorData& data, const PlannedWrite& write, std::int32_t value,
                      const ValueLimits& limits) {
    const auto shown = [&](std::int32_t limit) {
        return write.parameter < 0 || IsLength(write.parameter)
                   ? PlannedValueText(data, write, limit)
                   : QString::number(limit);
    };
    return limits.Contains(value) ? QString()
                                  : QStringLiteral("outside its limits %1 to %2")
                                        .arg(shown(limits.low), shown(limits.high));
}

// Why a setpoint cannot be written: the first of its edited fields outside
// its limits; empty when all three are within them.
QString SetpointRefusal(clsSensorData& data, int s) {
    for (int f = 0; f < 3; ++f) {
        PlannedWrite field;
        field.setpoint = s;
        field.field = f;
        const QString outside =
            OutsideLimits(data, field, data.ReadSetpointData(s, f + 3), SetpointLimits(data, f));
        if (!outside.isEmpty()) {
            return QStringLiteral("its %1 is %2").arg(SetpointFieldName(f), outside);
        }
    }
    return {};
}

QString PowerCycleReason(int parameter) {
    switch (parameter) {
    case Param::Address:
        return QStringLiteral("the sensor answers at it once its power has been cycled");
    case Param::BaudRate:
        return QStringLiteral("the sensor talks at it once its power has been cycled");
    default:
        return QStringLiteral("takes effect once the sensor's power has been cycled");
    }
}

} // namespace

QString ParameterValueText(const clsSensorData& data, int parameter, std::int32_t value) {
    if (IsLength(parameter)) {
        return FormatLength(LengthOfCounts(value, data), true, data);
    }
    // The check boxes' two states.
    static const std::array<std::pair<int, std::array<const char*, 2>>, 2> boxes = {
        {{Param::DrivePolarity, {"Normal", "Reversed"}},
         {Param::AutoNullEnable, {"Disabled", "Enabled"}}}};
    for (const auto& [reg, states] : boxes) {
        if (reg == parameter && (value == 0 || value == 1)) {
            return QLatin1String(states.at(static_cast<std::size_t>(value)));
        }
    }
    for (const OptionGroupDef& group : OptionGroups()) {
        if (group.reg == parameter && !group.captions.front().isEmpty()) {
            const int index = OptionIndex(group.group, value);
            return index < 0 ? QString::number(value)
                             : CaptionInUnits(group.captions.at(static_cast<std::size_t>(index)),
                                              data.Units());
        }
    }
    return QString::number(value);
}

QString PlannedValueText(const clsSensorData& data, const PlannedWrite& write, std::int32_t value) {
    return write.parameter >= 0 ? ParameterValueText(data, write.parameter, value)
                                : SetpointValueText(data, write.field, value);
}

QString PlannedWrite::Text() const {
    QString text =
        QStringLiteral("%1: %2 -> %3").arg(item, heldUnread ? NotReadText() : heldText, valueText);
    if (!refusal.isEmpty()) {
        text += QStringLiteral("  (will not be written: %1)").arg(refusal);
    } else if (!powerCycle.isEmpty()) {
        text += QStringLiteral("  (%1)").arg(powerCycle);
    }
    return text;
}

QString PlannedWrite::RawText() const {
    QString text = QStringLiteral("%1: %2 %3")
                       .arg(item, heldUnread ? NotReadText() : QString::number(held))
                       .arg(value);
    if (IsMarkedParameter(parameter)) {
        text += QStringLiteral("  <- changes how the sensor is reached or runs");
    }
    if (!refusal.isEmpty()) {
        text += QStringLiteral("  (will not be written: %1)").arg(refusal);
    }
    return text;
}

WritePlan PlanWrites(clsSensorData& data, const QSet<int>& unreadParameters,
                     const QSet<int>& unreadSetpoints) {
    WritePlan plan;
    for (int r = 1; r <= data.MaxParameters(); ++r) {
        const std::int32_t held = data.ReadParameterData(r, clsSensorData::SensorDataColumn);
        const std::int32_t value = data.ReadParameterData(r, clsSensorData::ChangedDataColumn);
        if (!IsWritableParameter(data, r) || held == value) {
            continue;
        }
        PlannedWrite write;
        write.parameter = r;
        write.item = data.ReadParameterName(r, 0).trimmed();
        write.held = held;
        write.value = value;
        write.heldText = PlannedValueText(data, write, held);
        write.valueText = PlannedValueText(data, write, value);
        write.heldUnread = unreadParameters.contains(r);
        if (data.ReadParameterData(r, clsSensorData::DataTypeColumn) ==
            clsSensorData::CyclePowerType) {
            write.powerCycle = PowerCycleReason(r);
        }
        write.refusal = OutsideLimits(data, write, value, ParameterLimits(data, r));
        plan.append(write);
    }
    for (int s = 0; s <= data.MaxSetpoints(); ++s) {
        if (!SetpointPending(data, s)) {
            continue;
        }
        const QString refusal = SetpointRefusal(data, s);
        for (int f = 0; f < 3; ++f) {
            PlannedWrite write;
            write.setpoint = s;
            write.field = f;
            write.item =
                QStringLiteral("Setpoint %1 %2").arg(SetpointNumber(s)).arg(SetpointFieldName(f));
            write.held = data.ReadSetpointData(s, f);
            write.value = data.ReadSetpointData(s, f + 3);
            write.heldText = PlannedValueText(data, write, write.held);
            write.valueText = PlannedValueText(data, write, write.value);
            write.heldUnread = unreadSetpoints.contains(s);
            write.refusal = refusal;
            plan.append(write);
        }
    }
    return plan;
}

} // namespace kelvar
