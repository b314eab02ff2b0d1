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

} // namespace

cCommands::cCommands(cSensorLink& link, clsSensorData& sensor) : link_(link), sensor_(sensor) {}

cCommands::Outcome cCommands::Send(const QByteArray& command, int address) {
    const Outcome outcome = link_.SendCommand(command, address);
    if (outcome != Outcome::Answered) {
        failed_.append({command, outcome});
    }
    return outcome;
}

QList<cCommands::Failure> cCommands::TakeFailedRequests() {
    return std::exchange(failed_, {});
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
            .arg(index)
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

cCommands::Outcome cCommands::SendFields(char letter, std::initializer_list<QByteArray> fields) {
    QByteArray command(1, letter);
    for (const QByteArray& field : fields) {
        if (field.isEmpty()) {
            failed_.append({command, Outcome::NotSent});
            link_.FlagRefusedRequest();
            return Outcome::NotSent;
        }
        command += field;
    }
    return Send(command);
}

cCommands::Outcome cCommands::PollPosition() {
    return Send("A");
}

cCommands::Outcome cCommands::PollTarget() {
    return Send("B");
}

cCommands::Outcome cCommands::PollVelocity() {
    return Send("C");
}

cCommands::Result cCommands::ReadParameter(int index) {
    auto& decoder = link_.Decoder();
    Result result;
    result.outcome = SendFields('D', {HexField(index, 4)});
    result.value = result.answered() ? decoder.ParamResult : 0;
    decoder.ParamResult = 0;
    return result;
}

cCommands::Result cCommands::WriteParameter(int index) {
    auto& decoder = link_.Decoder();
    Result result;
    const std::int32_t value = sensor_.ReadParameterData(index, clsSensorData::ChangedDataColumn);
    const bool zeroAdjust = index == Param::ZeroAdjust;
    result.sent = value;
    result.outcome = SendFields(
        'L', {HexField(index, 3), HexField(zeroAdjust ? EncodeZeroAdjust(value) : value, 4)});
    // The echo as a read would show it: a value whose encoding does not come
    // back the same is not confirmed.
    if (result.answered()) {
        result.value = zeroAdjust ? DecodeZeroAdjust(decoder.ParamResult) : decoder.ParamResult;
    }
    decoder.ParamResult = 0;
    return result;
}

cCommands::Result cCommands::ReadSetpoint(int index, int field) {
    auto& decoder = link_.Decoder();
    Result result;
    result.outcome = SendFields('R', {FieldDigit(field), HexField(index, 3)});
    result.value = result.answered() ? decoder.SetpointResult : 0;
    decoder.SetpointResult = 0;
    decoder.SetpointEcho = 0;
    return result;
}

cCommands::Result cCommands::WriteSetpoint(int index, int field, std::int32_t value) {
    auto& decoder = link_.Decoder();
    Result result;
    result.sent = value;
    result.outcome = SendFields('Q', {FieldDigit(field), HexField(index, 2), HexField(value, 4)});
    result.value = result.answered() ? decoder.SetpointResult : 0;
    decoder.SetpointResult = 0;
    decoder.SetpointEcho = 0;
    return result;
}

cCommands::Outcome cCommands::SetTarget(double position) {
    const double counts = position < 0 ? 0.0 : position / sensor_.Resolution();
    // A position so far out that it has no integer form is refused like any
    // other value that does not fit.
    const std::int64_t rounded = counts < 1e9 ? RoundHalfEven(counts) : -1;
    return SendFields('I', {HexField(rounded, 4)});
}

cCommands::Outcome cCommands::SendSetpointValue(std::int32_t value) {
    return SendFields('K', {HexField(value, 4)});
}

bool cCommands::EnsureMode5() {
    auto& decoder = link_.Decoder();
    // A mode left over from an earlier answer must not stand in for this one.
    decoder.ModeDigit = 0;
    if (PollVelocity() == Outcome::Answered && decoder.ModeDigit == 5) {
        return true;
    }
    return Send("G0005") == Outcome::Answered && decoder.ModeDigit == 5;
}

bool cCommands::CheckSensorAnswers(int address) {
    for (int poll = 0; poll < 2; ++poll) {
        if (Send("A", address) != Outcome::Answered ||
            link_.StatusWord.TestBit(LinkBit::NoAnswer)) {
            return false;
        }
    }
    return true;
}

QString cCommands::ReadSerialNumber() {
    auto& decoder = link_.Decoder();
    decoder.ClearIdentity();
    bool answered = true;
    for (const int offset : {32, 38}) {
        answered = SendFields('F', {HexField(offset, 4)}) == Outcome::Answered && answered;
        PauseProcessingEvents(IdentityPauseMs);
    }
    const QString text = decoder.IdentityText().trimmed();
    decoder.ClearIdentity();
    // Half a serial number is not the sensor's serial number.
    return answered ? LeadingDigits(QString(text.mid(6, 6) + text.mid(0, 6))) : QString();
}

QString cCommands::ReadIdentityRecord(const std::function<void(int)>& progress) {
    auto& decoder = link_.Decoder();
    decoder.ClearIdentity();
    for (int request = 0; request < 9 && link_.PortIsOpen(); ++request) {
        if (SendFields('F', {HexField(6 * request, 4)}) != Outcome::Answered) {
            // Keep the later characters at their places in the record.
            decoder.SkipIdentityItems(6 * (request + 1));
        }
        PauseProcessingEvents(IdentityPauseMs);
        if (progress) {
            progress(request);
        }
    }
    const QString text = decoder.IdentityText();
    decoder.ClearIdentity();
    return text;
}

} // namespace kelvar
