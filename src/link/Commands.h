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
    using Reply = cSensorLink::Reply;

    struct Result {
        Outcome outcome = Outcome::NotSent;
        std::int32_t value = 0; // the value field of the request's answer (0 when none)
        std::int32_t sent = 0;  // the field value put on the wire, for writes
        bool answered() const { return outcome == Outcome::Answered; }
    };

    cCommands(cSensorLink& link, clsSensorData& sensor);
    ~cCommands();
    cCommands(const cCommands&) = delete;
    cCommands& operator=(const cCommands&) = delete;

    Outcome PollPosition();
    Outcome PollTarget();
    Outcome PollVelocity();
    Result ReadParameter(int index);
    // Writes the value into the parameter (ZERO ADJUST encoded). `sent` is
    // that value, the result's value the sensor's echo decoded as a read
    // decodes it: the write is confirmed when the two are equal.
    Result WriteParameter(int index, std::int32_t value);
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
    // A first poll without an answer decides it: the second is not sent, and
    // the first is not asked again unless `retryFirst` (an empty address of
    // a search costs one time-out).
    bool CheckSensorAnswers(int address, bool retryFirst = false);
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
    // order sent, and those whose answers were put in doubt afterwards
    // (Outcome::Doubtful); the list starts empty again, and so do the counts
    // below.
    QList<Failure> TakeFailedRequests();
    // Removes the requests with this letter whose answers were put in doubt
    // from the failed ones, and returns them: the caller asks them again.
    QList<QByteArray> TakeDoubted(char letter);
    // Waits until the line has been quiet, so that every answer still in
    // doubt is known.
    void Settle();

    // Five requests in a row went unanswered (after their retries): the
    // sensor has stopped answering and a flow stops asking it.
    static constexpr int SilentRequestsToGiveUp = 5;
    bool StoppedAnswering() const { return silentRun_ >= SilentRequestsToGiveUp; }
    // What a flow says when its requests failed for these reasons: that the
    // sensor stopped answering, that answers came too late (how many) or
    // from another address, with the remedy; empty when none of them.
    QString FailureAdvice(int address) const;
    // A request in words for messages: its text, and the parameter, setpoint
    // or identity characters it is about ("D000C (parameter 12 Velocity Enable)").
    QString DescribeRequest(const QByteArray& command) const;

private:
    // Address 0: the current sensor's.
    Reply Send(const QByteArray& command, int address = 0,
               std::optional<int> retries = std::nullopt);
    // Refuses the request when a field did not fit (an empty field).
    Reply SendFields(char letter, std::initializer_list<QByteArray> fields);

    // Reads identity characters at these offsets, six per request; a request
    // that is not answered leaves blanks in its place.
    QString ReadIdentityChunks(const QList<int>& offsets, bool& allAnswered,
                               const std::function<void(int)>& progress = {});

    cSensorLink& link_;
    clsSensorData& sensor_;
    QList<Failure> failed_;
    int silentRun_ = 0;
    int silentAddress_ = 0; // the sensor silentRun_ counts for
    int lateAnswers_ = 0;
    QMetaObject::Connection doubts_;
    QMetaObject::Connection late_;
    QMetaObject::Connection others_;
    QList<int> otherAddresses_; // addresses that answered while another was asked
};

} // namespace kelvar
