#include "link/Commands.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "model/SensorData.h"
#include "model/Text.h"

#include <utility>

namespace kelvar {

std::int32_t EncodeZeroAdjust(std::int32_t value) {
    return value < 0 ? value + 65535 : value;
}

std::int32_t DecodeZeroAdjust(std::int32_t wireValue) {
    return wireValue > 32767 ? wireValue - 65535 : wireValue;
}

namespace {

QByteArray FieldDigit(int field) {
    return QByteArray::number(field >= 0 && field <= 2 ? field : 0);
}

// The value field of the request's own answer; 0 when it was not answered.
std::int32_t AnsweredValue(const cSensorLink::Reply& reply) {
    return reply.answer ? reply.answer->value : 0;
}

} // namespace

cCommands::cCommands(cSensorLink& link, clsSensorData& sensor) : link_(link), sensor_(sensor) {
    doubts_ = QObject::connect(&link_, &cSensorLink::answersDoubted,
                               [this](int, const QList<QByteArray>& commands) {
                                   for (const QByteArray& command : commands) {
                                       failed_.append({command, Outcome::Doubtful});
                                   }
                               });
    late_ = QObject::connect(&link_, &cSensorLink::answerDiscarded, [this] { ++lateAnswers_; });
    others_ = QObject::connect(&link_, &cSensorLink::otherAddressAnswered,
                               [this](const QByteArray& frame) {
                                   if (const int address = frame.front() - 'a' + 1;
                                       address >= MinAddress && address <= MaxAddress &&
                                       !otherAddresses_.contains(address)) {
                                       otherAddresses_.append(address);
                                   }
                               });
}

cCommands::~cCommands() {
    for (const auto& connection : {doubts_, late_, others_}) {
        QObject::disconnect(connection);
    }
}

cCommands::Reply cCommands::Send(const QByteArray& command, int address,
                                 std::optional<int> retries) {
    // A sensor that stopped answering is not asked on: the rest of the flow
    // fails at once instead of a time-out at a time.
    if (StoppedAnswering()) {
        failed_.append({command, Outcome::NoAnswer});
        return {Outcome::NoAnswer, std::nullopt};
    }
    Reply reply = link_.SendCommand(command, address, retries);
    const Outcome outcome = reply.outcome;
    if (outcome != Outcome::Answered) {
        failed_.append({command, outcome});
    }
    // Only the same sensor going unanswered again and again counts: a search
    // asks many empty addresses in a row.
    const int asked = address < 1 ? link_.CurrentAddress : address;
    if (asked != silentAddress_) {
        silentAddress_ = asked;
        silentRun_ = 0;
    }
    if (outcome == Outcome::NoAnswer) {
        ++silentRun_;
    } else if (outcome == Outcome::Answered || outcome == Outcome::BadAnswer ||
               outcome == Outcome::Doubtful) {
        silentRun_ = 0;
    }
    return reply;
}

QList<cCommands::Failure> cCommands::TakeFailedRequests() {
    silentRun_ = 0;
    lateAnswers_ = 0;
    otherAddresses_.clear();
    return std::exchange(failed_, {});
}

QList<QByteArray> cCommands::TakeDoubted(char letter) {
    QList<QByteArray> doubted;
    failed_.removeIf([&](const Failure& failure) {
        const bool take =
            failure.outcome == Outcome::Doubtful && failure.command.startsWith(letter);
        if (take && !doubted.contains(failure.command)) {
            doubted.append(failure.command);
        }
        return take;
    });
    return doubted;
}

void cCommands::Settle() {
    link_.Settle();
}

QString cCommands::FailureAdvice(int address) const {
    QStringList advice;
    if (StoppedAnswering()) {
        advice.append(QStringLiteral("sensor %1 stopped answering (%2 requests in a row got no "
                                     "answer after their retries)")
                          .arg(address)
                          .arg(SilentRequestsToGiveUp));
    }
    if (lateAnswers_ > 0) {
        advice.append(QStringLiteral("%1 answer(s) came after the time-out of %2 ms and were "
                                     "discarded: a longer time-out (the Timeout list, --timeout) "
                                     "may help")
                          .arg(lateAnswers_)
                          .arg(link_.PacketTimeout));
    }
    if (!otherAddresses_.isEmpty()) {
        QStringList numbers;
        for (const int other : otherAddresses_) {
            numbers.append(QString::number(other));
        }
        advice.append(QStringLiteral("answers came from address %1 while sensor %2 was asked: "
                                     "another sensor may answer for it, or it may be set to "
                                     "another address")
                          .arg(numbers.join(QStringLiteral(", ")))
                          .arg(address));
    }
    return advice.join(QStringLiteral("; "));
}

QString cCommands::DescribeRequest(const QByteArray& command) const {
    const QString text = QString::fromLatin1(command);
    if (command.isEmpty()) {
        return text;
    }
    const auto hex = [&command](qsizetype from, qsizetype width) {
        return HexToLong(command.mid(from, width), false);
    };
    const auto parameter = [this](int index) {
        const QString name = index >= 0 && index < clsSensorData::Rows
                                 ? sensor_.ReadParameterName(index, 0).trimmed()
                                 : QString();
        return QStringLiteral("parameter %1 %2").arg(index).arg(name).trimmed();
    };
    const auto setpoint = [&command](int index) {
        return QStringLiteral("setpoint %1 %2")
            .arg(SetpointNumber(index))
            .arg(SetpointFieldName(command.size() > 1 ? command.at(1) - '0' : 0));
    };
    QString about;
    switch (command.front()) {
    case 'A':
        about = QStringLiteral("position");
        break;
    case 'B':
    case 'I':
        about = QStringLiteral("target");
        break;
    case 'C':
        about = QStringLiteral("velocity and mode");
        break;
    case 'D':
        about = parameter(hex(1, 4));
        break;
    case 'L':
        about = parameter(hex(1, 3));
        break;
    case 'F':
        about =
            QStringLiteral("identity characters %1 to %2").arg(hex(1, 4) + 1).arg(hex(1, 4) + 6);
        break;
    case 'G':
        about = QStringLiteral("mode");
        break;
    case 'K':
        about = QStringLiteral("setpoint move");
        break;
    case 'R':
        about = setpoint(hex(2, 3));
        break;
    case 'Q':
        about = setpoint(hex(2, 2));
        break;
    default:
        return text;
    }
    return QStringLiteral("%1 (%2)").arg(text, about);
}

cCommands::Reply cCommands::SendFields(char letter, std::initializer_list<QByteArray> fields) {
    QByteArray command(1, letter);
    for (const QByteArray& field : fields) {
        if (field.isEmpty()) {
            failed_.append({command, Outcome::NotSent});
            link_.FlagRefusedRequest();
            return {Outcome::NotSent, std::nullopt};
        }
        command += field;
    }
    return Send(command);
}

cCommands::Outcome cCommands::PollPosition() {
    return Send("A").outcome;
}

cCommands::Outcome cCommands::PollTarget() {
    return Send("B").outcome;
}

cCommands::Outcome cCommands::PollVelocity() {
    return Send("C").outcome;
}

cCommands::Result cCommands::ReadParameter(int index) {
    const Reply reply = SendFields('D', {HexField(index, 4)});
    return {reply.outcome, AnsweredValue(reply)};
}

cCommands::Result cCommands::WriteParameter(int index, std::int32_t value) {
    const bool zeroAdjust = index == Param::ZeroAdjust;
    const Reply reply = SendFields(
        'L', {HexField(index, 3), HexField(zeroAdjust ? EncodeZeroAdjust(value) : value, 4)});
    // The echo as a read would show it: a value whose encoding does not come
    // back the same is not confirmed.
    const std::int32_t echo = AnsweredValue(reply);
    return {reply.outcome, zeroAdjust ? DecodeZeroAdjust(echo) : echo, value};
}

cCommands::Result cCommands::ReadSetpoint(int index, int field) {
    const Reply reply = SendFields('R', {FieldDigit(field), HexField(index, 3)});
    return {reply.outcome, AnsweredValue(reply)};
}

cCommands::Result cCommands::WriteSetpoint(int index, int field, std::int32_t value) {
    const Reply reply =
        SendFields('Q', {FieldDigit(field), HexField(index, 2), HexField(value, 4)});
    return {reply.outcome, AnsweredValue(reply), value};
}

cCommands::Outcome cCommands::SetTarget(double position) {
    const double counts = position < 0 ? 0.0 : position / sensor_.Resolution();
    // A position so far out that it has no integer form is refused like any
    // other value that does not fit.
    const std::int64_t rounded = counts < 1e9 ? RoundHalfEven(counts) : -1;
    return SendFields('I', {HexField(rounded, 4)}).outcome;
}

cCommands::Outcome cCommands::SendSetpointValue(std::int32_t value) {
    return SendFields('K', {HexField(value, 4)}).outcome;
}

bool cCommands::EnsureMode5() {
    const auto inMode5 = [](const Reply& reply) {
        return reply.answer && reply.answer->mode == 5;
    };
    return inMode5(Send("C")) || inMode5(Send("G0005"));
}

bool cCommands::CheckSensorAnswers(int address, bool retryFirst) {
    const bool first =
        Send("A", address, retryFirst ? std::nullopt : std::optional<int>{0}).answered();
    return first && Send("A", address).answered() && !link_.StatusWord.TestBit(LinkBit::NoAnswer);
}

QString cCommands::ReadIdentityChunks(const QList<int>& offsets, bool& allAnswered,
                                      const std::function<void(int)>& progress) {
    constexpr int ChunkChars = 6;
    auto& decoder = link_.Decoder();
    const auto chunk = [&](const QByteArray& command) {
        decoder.ClearIdentity();
        const bool answered = Send(command).answered();
        // A chunk that did not come keeps the later characters at their places.
        decoder.SkipIdentityItems(ChunkChars);
        const QString text = decoder.IdentityText().left(ChunkChars);
        decoder.ClearIdentity();
        return std::pair{answered, text};
    };
    QStringList chunks;
    QList<QByteArray> commands;
    allAnswered = true;
    for (const int offset : offsets) {
        if (!link_.PortIsOpen()) {
            allAnswered = false;
            break;
        }
        commands.append("F" + HexField(offset, 4));
        const auto [answered, text] = chunk(commands.last());
        allAnswered = allAnswered && answered;
        chunks.append(text);
        if (!StoppedAnswering()) {
            PauseProcessingEvents(IdentityPauseMs);
        }
        if (progress) {
            progress(static_cast<int>(chunks.size()) - 1);
        }
    }
    // A chunk whose answer a stray frame put in doubt is asked again, each
    // answer taken only once the line is quiet after it.
    Settle();
    const cSensorLink::SettledAnswers settled(link_);
    for (const QByteArray& doubted : TakeDoubted('F')) {
        const qsizetype at = commands.indexOf(doubted);
        if (at < 0) {
            continue;
        }
        const auto [answered, text] = chunk(doubted);
        allAnswered = allAnswered && answered;
        chunks[at] = text;
        PauseProcessingEvents(IdentityPauseMs);
    }
    return chunks.join(QString());
}

QString cCommands::ReadSerialNumber() {
    bool answered = false;
    const QString text = ReadIdentityChunks({32, 38}, answered).trimmed();
    // Half a serial number is not the sensor's serial number.
    return answered ? LeadingDigits(QString(text.mid(6, 6) + text.mid(0, 6))) : QString();
}

QString cCommands::ReadIdentityRecord(const std::function<void(int)>& progress) {
    QList<int> offsets;
    for (int request = 0; request < 9; ++request) {
        offsets.append(6 * request);
    }
    bool answered = false;
    return ReadIdentityChunks(offsets, answered, progress);
}

} // namespace kelvar
