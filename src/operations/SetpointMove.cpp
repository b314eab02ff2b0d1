#include "operations/SetpointMove.h"

#include "model/Limits.h"
#include "model/Parameters.h"
#include "model/SensorData.h"
#include "model/Text.h"
#include "operations/Session.h"

namespace kelvar {

QString SetpointMoveRefusal(cSession& session, int index) {
    if (!session.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return QStringLiteral("No sensor has been read: the cylinder was not moved.");
    }
    clsSensorData& sensor = session.sensor;
    if (index < 0 || index > sensor.MaxSetpoints()) {
        return QStringLiteral("Sensor %1 has no setpoint %2: the cylinder was not moved.")
            .arg(session.link.CurrentAddress)
            .arg(SetpointNumber(index));
    }
    const auto entered = [&sensor, index](std::int32_t read, std::int32_t edited) {
        return sensor.ReadSetpointData(index, read) != sensor.ReadSetpointData(index, edited);
    };
    if (session.read.UnreadSetpoints().contains(index) &&
        !(entered(clsSensorData::TargetColumn, clsSensorData::EditedTargetColumn) &&
          entered(clsSensorData::VelocityColumn, clsSensorData::EditedVelocityColumn))) {
        return QStringLiteral("Setpoint %1 of sensor %2 was not read, so its target is not "
                              "known: the cylinder was not moved.")
            .arg(SetpointNumber(index))
            .arg(session.link.CurrentAddress);
    }
    // A target past its field cannot go on the wire: nothing goes, not even
    // the velocity, which would change the speed of the move under way.
    if (const std::int32_t target =
            sensor.ReadSetpointData(index, clsSensorData::EditedTargetColumn);
        !SetpointFieldLimits(clsSensorData::TargetColumn).Contains(target)) {
        return QStringLiteral("The target of setpoint %1, %2, is more than sensor %3 can hold: "
                              "the cylinder was not moved.")
            .arg(SetpointNumber(index))
            .arg(SetpointValueText(sensor, clsSensorData::TargetColumn, target))
            .arg(session.link.CurrentAddress);
    }
    return {};
}

QString SetpointTargetOutsideLimits(clsSensorData& sensor, int index) {
    const auto held = [&sensor](int parameter) {
        return sensor.ReadParameterData(parameter, clsSensorData::SensorDataColumn);
    };
    const std::int32_t target = sensor.ReadSetpointData(index, clsSensorData::EditedTargetColumn);
    const std::int32_t minimum = held(Param::MinimumTravel);
    const std::int32_t maximum = held(Param::MaximumTravel);
    const std::int32_t length = held(Param::SensorLength);
    if (target <= length && (maximum <= minimum || (target >= minimum && target <= maximum))) {
        return {};
    }
    const auto shown = [&sensor](std::int32_t counts) {
        return FormatLength(LengthOfCounts(counts, sensor), true, sensor);
    };
    return QStringLiteral("The target of setpoint %1, %2, lies outside the travel limits %3 to "
                          "%4 or past the sensor's length %5.")
        .arg(SetpointNumber(index))
        .arg(shown(target), shown(minimum), shown(maximum), shown(length));
}

cSetpointMove::cSetpointMove(cSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        Finish(Result::TimedOut,
               QStringLiteral("Sensor %1 did not report setpoint %2 in position within %3 s; "
                              "the cylinder keeps that target.")
                   .arg(session_.link.CurrentAddress)
                   .arg(SetpointNumber(index_))
                   .arg(deadline_.interval() / 1000.0));
    });
    connect(&session_.monitor, &cMonitorFlow::monitorPolled, this, &cSetpointMove::OnPoll);
}

void cSetpointMove::Start(int index, int timeoutMs) {
    deadline_.stop();
    index_ = index;
    lostInRow_ = 0;
    lastFailure_ = cSensorLink::Outcome::Answered;
    reason_.clear();
    position_.reset();
    target_.reset();
    velocity_.reset();
    if (const QString refusal = SetpointMoveRefusal(session_, index); !refusal.isEmpty()) {
        Finish(Result::Refused, refusal);
        return;
    }
    // Polls that end while the target goes out belong to the time before it.
    state_ = Result::Idle;
    switch (session_.setpoints.MoveToSetpoint(index)) {
    case MoveOutcome::Refused:
        Finish(Result::Refused,
               QStringLiteral("Another task is using sensor %1: setpoint %2 was not sent.")
                   .arg(session_.link.CurrentAddress)
                   .arg(SetpointNumber(index)));
        return;
    case MoveOutcome::Shown:
        Finish(Result::Refused,
               QStringLiteral("\"View Only\" is ticked: setpoint %1 was shown, not sent.")
                   .arg(SetpointNumber(index)));
        return;
    case MoveOutcome::NotConfirmed:
        Finish(Result::NotConfirmed,
               QStringLiteral("Sensor %1 did not confirm setpoint %2: the cylinder may not move.")
                   .arg(session_.link.CurrentAddress)
                   .arg(SetpointNumber(index)));
        return;
    case MoveOutcome::Moved:
        break;
    }
    state_ = Result::Moving;
    deadline_.start(timeoutMs);
}

void cSetpointMove::OnPoll(char letter, cSensorLink::Outcome outcome) {
    if (state_ != Result::Moving) {
        return;
    }
    const auto& decoder = session_.link.Decoder();
    std::optional<float>& value = letter == 'A' ? position_ : letter == 'B' ? target_ : velocity_;
    if (outcome != cSensorLink::Outcome::Answered) {
        value.reset();
        lastFailure_ = outcome;
        ++lostInRow_;
        emit polled(letter, outcome, QString());
        if (outcome == cSensorLink::Outcome::PortFailed || lostInRow_ >= LostPollLimit) {
            Finish(Result::Lost, QStringLiteral("Sensor %1 stopped answering while the cylinder "
                                                "moved to setpoint %2.")
                                     .arg(session_.link.CurrentAddress)
                                     .arg(SetpointNumber(index_)));
        }
        return;
    }
    lostInRow_ = 0;
    value = letter == 'A'   ? decoder.Position()
            : letter == 'B' ? decoder.Target()
                            : decoder.Velocity();
    // Only a status answered after the target went out counts.
    const bool inPosition =
        letter == 'A' && session_.link.StatusWord.TestBit(StatusBit::InPosition);
    emit polled(letter, outcome, Values(inPosition));
    if (inPosition) {
        Finish(Result::Arrived, QString());
    }
}

QString cSetpointMove::Values(bool inPosition) const {
    const clsSensorData& sensor = session_.sensor;
    const QString unit = LengthUnit(sensor.Units());
    const int lengthDecimals = LengthDecimals(sensor.Resolution());
    const auto shown = [](const std::optional<float>& value, int decimals, const QString& name) {
        return value ? QString::number(*value, 'f', decimals) + u' ' + name : QStringLiteral("-");
    };
    QString text =
        QStringLiteral("position %1, target %2, velocity %3")
            .arg(shown(position_, lengthDecimals, unit), shown(target_, lengthDecimals, unit),
                 shown(velocity_, sensor.VelocityValue() == 1 ? 2 : 1,
                       CaptionInUnits(QStringLiteral("in/sec"), sensor.Units())));
    if (inPosition) {
        text += QStringLiteral(", in position");
    }
    return text;
}

void cSetpointMove::Finish(Result result, const QString& reason) {
    deadline_.stop();
    state_ = result;
    reason_ = reason;
    emit finished(result);
}

} // namespace kelvar
