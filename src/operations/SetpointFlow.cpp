#include "operations/SetpointFlow.h"

#include "model/Parameters.h"
#include "model/Text.h"
#include "operations/Session.h"
#include "operations/SetpointMove.h"

namespace kelvar {

cSetpointFlow::cSetpointFlow(cSession& session) : session_(session) {}

void cSetpointFlow::RequestSetpoint(int index) {
    if (!session_.FlowRunning() && !session_.Aborted()) {
        pendingSetpoint_ = index;
    }
}

MoveOutcome cSetpointFlow::MoveToSetpoint(int index) {
    MoveOutcome outcome = MoveOutcome::Refused;
    session_.RunUserFlow([this, index, &outcome] { outcome = ShowSetpointWindow(index, true); });
    return outcome;
}

void cSetpointFlow::DropRequest() {
    pendingSetpoint_ = NoSetpointRequest;
}

void cSetpointFlow::SetViewOnly(bool viewOnly) {
    if (viewOnly_ != viewOnly) {
        viewOnly_ = viewOnly;
        emit viewOnlyChanged(viewOnly);
    }
}

void cSetpointFlow::ShowSetpointDisplay(int index) {
    setpointWindow_ = SetpointWindow(session_.sensor, index);
    emit setpointWindowChanged();
}

MoveOutcome cSetpointFlow::ShowSetpointWindow(int index, bool move) {
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    if (!viewOnly_ && !session_.graph.Running()) {
        session_.monitor.Stop();
    }
    const int chosen = WrapSetpoint(sensor, index);
    ShowSetpointDisplay(chosen);

    MoveOutcome outcome = MoveOutcome::Shown;
    const bool send = move && (session_.view.VisibleTab() == Tab::Graph || !viewOnly_);
    // A setpoint that was never read holds 0: it must not become a target.
    const QString refusal = send ? SetpointMoveRefusal(session_, chosen) : QString();
    // A target beyond the sensor's limits goes only when the user says so.
    const QString outside =
        send && refusal.isEmpty() ? SetpointTargetOutsideLimits(sensor, chosen) : QString();
    const bool go =
        send && refusal.isEmpty() &&
        (outside.isEmpty() ||
         session_.view.Ask(QStringLiteral("Setpoint %1").arg(SetpointNumber(chosen)),
                           outside + QStringLiteral("\r\nMove the cylinder there?"),
                           MessageIcon::Exclamation, MessageButtons::YesNo) == MessageAnswer::Yes);
    if (!refusal.isEmpty()) {
        session_.statusBar.SetMessage(refusal);
        session_.log.AppendLog(refusal);
    } else if (go) {
        // The target goes only after its velocity was taken: a target
        // without it would move at whatever speed the sensor held.
        const std::int32_t velocity =
            sensor.ReadSetpointData(chosen, clsSensorData::EditedVelocityColumn);
        const std::int32_t target =
            sensor.ReadSetpointData(chosen, clsSensorData::EditedTargetColumn);
        using Outcome = cSensorLink::Outcome;
        const Outcome velocitySent = commands.SendSetpointValue(velocity);
        const Outcome targetSent =
            velocitySent == Outcome::Answered
                ? commands.SetTarget(static_cast<double>(target) * sensor.Resolution())
                : Outcome::NotSent;
        // An answer lost on its way back leaves the target taken all the
        // same: the sensor shows it in its next answer to B.
        const bool lostOnItsWay = targetSent == Outcome::NoAnswer ||
                                  targetSent == Outcome::BadAnswer ||
                                  targetSent == Outcome::Doubtful;
        const bool shown = lostOnItsWay && commands.PollTarget() == Outcome::Answered &&
                           session_.link.Decoder().TargetCounts() == target;
        commands.TakeFailedRequests();
        const bool sent = targetSent == Outcome::Answered || shown;
        outcome = sent ? MoveOutcome::Moved : MoveOutcome::NotConfirmed;
        QString text = sent ? QStringLiteral("Moving to setpoint %1").arg(SetpointNumber(chosen))
                            : QStringLiteral("Setpoint %1 was not confirmed by the sensor: the "
                                             "cylinder may not move")
                                  .arg(SetpointNumber(chosen));
        if (shown) {
            text += QStringLiteral(" (the answer to its target was lost; the sensor shows the "
                                   "target taken)");
        }
        session_.statusBar.SetMessage(text);
        session_.log.AppendLog(text);
    }
    commands.PollTarget();
    commands.PollVelocity();
    commands.TakeFailedRequests();
    session_.monitor.Start();
    return outcome;
}

bool cSetpointFlow::LoadSetpointTest(int option) {
    session_.monitor.Stop();
    // Worked out from limits and a length that were never read, the table
    // would look like a test sequence and be none.
    const QSet<int> unread = session_.read.UnreadParameters();
    const bool read = session_.link.StateFlags.TestBit(StateBit::DataLoaded) &&
                      !unread.contains(Param::MinimumTravel) &&
                      !unread.contains(Param::MaximumTravel) &&
                      !unread.contains(Param::SensorLength);
    if (!read) {
        session_.view.Ask(
            QStringLiteral("Setpoint Test"),
            QStringLiteral("The travel limits and length of sensor %1 have not been read, so "
                           "no test sequence can be worked out from them.\r\nThe setpoint "
                           "table is unchanged.")
                .arg(session_.link.CurrentAddress),
            MessageIcon::Exclamation, MessageButtons::Ok);
        session_.monitor.Start();
        return false;
    }
    FillSetpointTest(session_.sensor, option);
    ShowSetpointWindow(0, false);
    return true;
}

} // namespace kelvar
