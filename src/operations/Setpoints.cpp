#include "operations/Setpoints.h"

#include "model/Parameters.h"
#include "operations/Session.h"
#include "operations/SetpointMove.h"

namespace kelvar {

bool TargetOutOfLimits(const clsSensorData& data, std::int32_t target) {
    return target <=
               data.ReadParameterData(Param::MinimumTravel, clsSensorData::ChangedDataColumn) ||
           target > data.ReadParameterData(Param::MaximumTravel, clsSensorData::ChangedDataColumn);
}

int WrapSetpoint(const clsSensorData& data, int index) {
    if (index < 0) {
        return data.MaxSetpoints();
    }
    return index > data.MaxSetpoints() ? 0 : index;
}

SetpointWindowView SetpointWindow(clsSensorData& data, int index) {
    const int chosen = WrapSetpoint(data, index);
    const std::array<int, 3> rows = {WrapSetpoint(data, chosen - 1), chosen,
                                     WrapSetpoint(data, chosen + 1)};
    SetpointWindowView view;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int s = rows.at(i);
        view.at(i) = {
            s + 1, data.SetpointText(s, clsSensorData::EditedTargetColumn),
            data.SetpointText(s, clsSensorData::EditedVelocityColumn),
            data.SetpointText(s, clsSensorData::EditedDwellColumn),
            TargetOutOfLimits(data, data.ReadSetpointData(s, clsSensorData::EditedTargetColumn))};
    }
    return view;
}

// ------------------------------------------------------------ the session

void cSession::RequestSetpoint(int index) {
    pendingSetpoint_ = index;
}

cSession::MoveOutcome cSession::ShowSetpointWindow(int index, bool move) {
    if (!ViewOnly && !GraphRunning) {
        StopMonitor();
    }
    const int chosen = WrapSetpoint(sensor, index);
    setpointWindow_ = SetpointWindow(sensor, chosen);
    emit setpointWindowChanged();

    MoveOutcome outcome = MoveOutcome::Shown;
    const bool send = move && (view.VisibleTab() == Tab::Graph || !ViewOnly);
    // A setpoint that was never read holds 0: it must not become a target.
    const QString refusal = send ? SetpointMoveRefusal(*this, chosen) : QString();
    if (!refusal.isEmpty()) {
        statusBar.SetMessage(refusal);
        log.AppendLog(refusal);
    } else if (send) {
        // The target goes only after its velocity was taken: a target
        // without it would move at whatever speed the sensor held.
        const std::int32_t velocity =
            sensor.ReadSetpointData(chosen, clsSensorData::EditedVelocityColumn);
        const std::int32_t target =
            sensor.ReadSetpointData(chosen, clsSensorData::EditedTargetColumn);
        const bool sent = commands.SendSetpointValue(velocity) == cSensorLink::Outcome::Answered &&
                          commands.SetTarget(static_cast<double>(target) * sensor.Resolution()) ==
                              cSensorLink::Outcome::Answered;
        commands.TakeFailedRequests();
        outcome = sent ? MoveOutcome::Moved : MoveOutcome::NotConfirmed;
        const QString text =
            sent ? QStringLiteral("Moving to setpoint %1").arg(chosen + 1)
                 : QStringLiteral("Setpoint %1 was not confirmed by the sensor: the cylinder "
                                  "may not move")
                       .arg(chosen + 1);
        statusBar.SetMessage(text);
        log.AppendLog(text);
    }
    commands.PollTarget();
    commands.PollVelocity();
    commands.TakeFailedRequests();
    StartMonitor();
    return outcome;
}

} // namespace kelvar
