#pragma once

#include "link/SensorLink.h"
#include "model/Parameters.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

namespace kelvar {

class clsSensorData;

// ZERO ADJUST travels in the sensor's own form: a negative value v as
// v + 65535 (so -1 is FFFE), read back by taking 65535 from values above 32767.
std::int32_t EncodeZeroAdjust(std::int32_t value);
std::int32_t DecodeZeroAdjust(std::int32_t wireValue);

// The requests the program sends, one builder each. Every request goes to
// the current sensor address. A value that does not fit its field is never
// cut: the request is refused (Outcome::NotSent), the transmit-error flag is
// set, and nothing is sent.
class cCommands {
public:
    using Outcome = cSensorLink::Outcome;

    struct Result {
        Outcome outcome = Outcome::NotSent;
        std::int32_t value = 0; // what the answer's result slot held (0 when none)
        std::int32_t sent = 0;  // the field value put on the wire, for writes
        bool answered() const { return outcome == Outcome::Answered; }
    };

    cCommands(cSensorLink& link, clsSensorData& sensor);

    Outcome PollPosition();
    Outcome PollTarget();
    Outcome PollVelocity();
    Result ReadParameter(int index);
    // Writes column 1 of the parameter's row (ZERO ADJUST encoded). `sent` is
    // that value, the result's value the sensor's echo decoded as a read
    // decodes it: the write is confirmed when the two are equal.
    Result WriteParameter(int index);
    Result ReadSetpoint(int index, int field);
    Result WriteSetpoint(int index, int field, std::int32_t value);
    // A target position in user units; a negative one becomes 0.
    Outcome SetTarget(double position);
    // "K": a 16-bit value from a setpoint's record, as stored.
    Outcome SendSetpointValue(std::int32_t value);
    // "C", then "G0005" unless the sensor already reports mode 5. True when
    // the sensor reports mode 5 at the end.
    bool EnsureMode5();
    // Two "A" polls to `address`; true only when both get a valid answer.
    // A first poll without an answer decides it: the second is not sent.
    bool CheckSensorAnswers(int address);
    QString ReadSerialNumber();
    // The nine "F" requests, each followed by a 75 ms pause; returns the
    // characters received. `progress` hears the request number 0 to 8.
    QString ReadIdentityRecord(const std::function<void(int)>& progress = {});

    static constexpr int IdentityPauseMs = 75;

    struct Failure {
        QByteArray command; // letter and data, as sent (or as refused)
        Outcome outcome;
        bool operator==(const Failure&) const = default;
    };
    // The requests that got no valid answer since the last call, in the
    // order sent; the list starts empty again.
    QList<Failure> TakeFailedRequests();
    // A request in words for messages: its text, and the parameter, setpoint
    // or identity characters it is about ("D000C (parameter 12 Velocity Enable)").
    QString DescribeRequest(const QByteArray& command) const;

private:
    // Address 0: the current sensor's.
    Outcome Send(const QByteArray& command, int address = 0);
    // Refuses the request when a field did not fit (an empty field).
    Outcome SendFields(char letter, std::initializer_list<QByteArray> fields);

    cSensorLink& link_;
    clsSensorData& sensor_;
    QList<Failure> failed_;
};

} // namespace kelvar
