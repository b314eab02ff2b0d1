#pragma once

#include "link/SensorLink.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

namespace kelvar {

class cSession;
class clsSensorData;

// Why the cylinder must not be sent to setpoint `index`; empty when it may.
// A setpoint whose read went unanswered holds 0, not what the sensor holds:
// it becomes a target only once the user has entered its target and velocity.
// A target beyond what the sensor's field holds never goes.
QString SetpointMoveRefusal(cSession& session, int index);

// Why the edited target of setpoint `index` must not be sent without asking:
// it lies outside the sensor's own travel limits or past its length, named
// in the sensor's units. Empty when it lies within them. As for the sensor,
// the limits count only once the maximum lies above the minimum.
QString SetpointTargetOutsideLimits(clsSensorData& sensor, int index);

// Sends the cylinder to a setpoint as a setpoint button does, then follows
// the monitor's polls until an answer given after the target went out says
// "in position", the time runs out or the sensor stops answering.
class cSetpointMove : public QObject {
    Q_OBJECT
public:
    // Polls in a row without a valid answer after which the sensor is taken
    // to have stopped answering.
    static constexpr int LostPollLimit = 5;

    enum class Result {
        Idle,
        Moving,
        Arrived,
        Refused,      // nothing was sent: Reason() says why
        NotConfirmed, // the velocity or the target got no valid answer
        Lost,         // the polls went unanswered, or the port failed
        TimedOut,
    };

    explicit cSetpointMove(cSession& session, QObject* parent = nullptr);

    // Shows setpoint `index` (0 based) and sends the cylinder there, unless
    // "View Only" keeps it from moving; the move may take `timeoutMs` from
    // the moment its target was answered.
    void Start(int index, int timeoutMs);
    Result State() const { return state_; }
    // Why the move ended, for a message; empty while it runs or when it arrived.
    const QString& Reason() const { return reason_; }
    // The outcome of the last poll without a valid answer.
    cSensorLink::Outcome LastFailure() const { return lastFailure_; }

signals:
    // A monitor poll while the cylinder moves. `values` is what is known
    // since the target went out ("position 1.234 in, target 1.967 in,
    // velocity 0.20 in/sec", then ", in position" when this answer said
    // so); empty when this poll got no valid answer.
    void polled(char letter, kelvar::cSensorLink::Outcome outcome, const QString& values);
    void finished(kelvar::cSetpointMove::Result result);

private:
    void OnPoll(char letter, cSensorLink::Outcome outcome);
    QString Values(bool inPosition) const;
    void Finish(Result result, const QString& reason);

    cSession& session_;
    QTimer deadline_;
    Result state_ = Result::Idle;
    int index_ = 0;
    int lostInRow_ = 0;
    cSensorLink::Outcome lastFailure_ = cSensorLink::Outcome::Answered;
    QString reason_;
    // What the polls answered since the target went out; forgotten when the
    // latest poll for it went unanswered.
    std::optional<float> position_;
    std::optional<float> target_;
    std::optional<float> velocity_;
};

} // namespace kelvar
