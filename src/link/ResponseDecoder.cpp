#include "link/ResponseDecoder.h"

#include "link/Framing.h"
#include "model/SensorData.h"

namespace kelvar {

AnswerGroup GroupOf(char responseLetter) {
    switch (responseLetter) {
    case 'A':
    case 'J':
    case 'K':
    case '#':
    case 'N':
    case 'P':
    case 'H':
    case 'M':
    case '-':
    case 'O':
        return AnswerGroup::Position;
    case 'B':
    case 'I':
        return AnswerGroup::Target;
    case 'C':
    case 'G':
        return AnswerGroup::VelocityMode;
    case 'D':
    case 'L':
        return AnswerGroup::Parameter;
    case 'E':
        return AnswerGroup::Accepted;
    case 'R':
    case 'Q':
        return AnswerGroup::Setpoint;
    case 'F':
        return AnswerGroup::Identity;
    default:
        return AnswerGroup::Unknown;
    }
}

AnswerExpectation AnswerExpectation::For(QByteArrayView commandText) {
    AnswerExpectation expected;
    if (commandText.isEmpty()) {
        return expected;
    }
    const char letter = commandText.front();
    switch (letter) {
    case 'R': // R, field digit, three hex digits of index
    case 'Q': // Q, field digit, two hex digits of index, value
        if (commandText.size() >= (letter == 'R' ? 5 : 4)) {
            expected.echo = HexToLong(commandText.sliced(2, letter == 'R' ? 3 : 2), false);
        }
        expected.letter = letter;
        break;
    case 'A':
    case 'B':
    case 'C':
    case 'D':
    case 'F':
    case 'G':
    case 'I':
    case 'K':
    case 'L':
        expected.letter = letter;
        break;
    default:
        break;
    }
    return expected;
}

bool AnswerExpectation::Matches(QByteArrayView frame) const {
    if (letter == 0) {
        return true;
    }
    if (frame.size() < 2 || frame.at(1) != letter) {
        return false;
    }
    // The echo sits in the first two data characters.
    return echo < 0 || (frame.size() >= 4 && HexToLong(frame.sliced(2, 2), false) == echo);
}

namespace {

// The decimal number a field begins with; 0 when it does not begin with one.
std::int32_t DecimalField(QByteArrayView text) {
    std::int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

cResponseDecoder::cResponseDecoder(clsBitMap& statusWord, QObject* parent)
    : QObject(parent), statusWord_(statusWord) {}

void cResponseDecoder::setSensor(const clsSensorData* sensor) {
    sensor_ = sensor;
}

float cResponseDecoder::Resolution() const {
    return sensor_ != nullptr ? sensor_->Resolution() : 0.001F;
}

std::optional<DecodedAnswer> cResponseDecoder::Decode(QByteArrayView frame) {
    if (frame.size() < 2) {
        return std::nullopt;
    }
    const char letter = frame.at(1);
    // Data characters d1 to d6 sit at fixed places; in a short answer they
    // hold CRC digits or nothing, as the sensor sent it.
    const QByteArrayView data = frame.sliced(2).first(std::min<qsizetype>(6, frame.size() - 2));
    const QByteArrayView twoDigits = data.first(std::min<qsizetype>(2, data.size()));
    const QByteArrayView fourDigits = data.size() > 2 ? data.sliced(2) : QByteArrayView();
    const auto hex = [](QByteArrayView field) {
        return HexToLong(field, false);
    };

    DecodedAnswer answer{.group = GroupOf(letter)};
    switch (answer.group) {
    case AnswerGroup::Position: {
        if (letter == 'O') {
            answer.value = DecimalField(twoDigits);
        } else {
            const int status = hex(twoDigits) & 0xFF;
            if (status != statusByte_) {
                statusByte_ = status;
                statusWord_.mask(0x7FFFFF00, 0);
                statusWord_.mask(status, 1);
                statusWord_.ToggleBit(3);
                statusWord_.ToggleBit(5);
            }
        }
        positionCounts_ = hex(fourDigits);
        float position = static_cast<float>(positionCounts_) * Resolution();
        if (!statusWord_.TestBit(StatusBit::PositionOk)) {
            position = 0;
            positionCounts_ = 0;
        }
        const bool changed = position != position_;
        position_ = position;
        emit positionAnswered(position_, changed);
        return answer;
    }
    case AnswerGroup::Target: {
        const int control = hex(twoDigits) & 0xFF;
        if (control != controlByte_) {
            controlByte_ = control;
            statusWord_.mask(0x7FFF00FF, 0);
            statusWord_.mask(control * 256, 1);
        }
        targetCounts_ = hex(fourDigits);
        const float target = static_cast<float>(targetCounts_) * Resolution();
        if (target != target_) {
            target_ = target;
            emit targetChanged(target_);
        }
        return answer;
    }
    case AnswerGroup::VelocityMode: {
        answer.mode = static_cast<std::int16_t>(
            data.size() >= 2 && data.at(1) >= '0' && data.at(1) <= '9' ? data.at(1) - '0' : 0);
        if (letter == 'C') {
            const std::int32_t counts = hex(fourDigits);
            const bool hundredths = sensor_ == nullptr || sensor_->VelocityValue() == 1;
            velocity_ = static_cast<float>(counts) / (hundredths ? 100.0F : 10.0F);
            velocityPattern_ = hundredths ? QStringLiteral("#0.00") : QStringLiteral("##0.0");
            emit velocityShown(velocity_);
        }
        return answer;
    }
    case AnswerGroup::Parameter:
        answer.value = hex(fourDigits);
        return answer;
    case AnswerGroup::Accepted:
        return answer;
    case AnswerGroup::Setpoint:
        answer.echo = static_cast<std::int16_t>(hex(twoDigits));
        answer.value = hex(fourDigits);
        return answer;
    case AnswerGroup::Identity:
        // The buffer ends here: characters beyond it belong to no identity
        // record and are dropped rather than written past its end.
        for (const char c : data) {
            if (identityCount_ >= IdentityItems) {
                break;
            }
            identity_[static_cast<std::size_t>(identityCount_++)] = c;
        }
        return answer;
    case AnswerGroup::Unknown:
        break;
    }
    return std::nullopt;
}

void cResponseDecoder::ClearIdentity() {
    identity_.fill(0);
    identityCount_ = 0;
}

void cResponseDecoder::SkipIdentityItems(int fillCount) {
    while (identityCount_ < std::min(fillCount, IdentityItems)) {
        identity_[static_cast<std::size_t>(identityCount_++)] = ' ';
    }
}

QString cResponseDecoder::IdentityText() const {
    return QString::fromLatin1(identity_.data(), identityCount_);
}

void cResponseDecoder::ForgetStatusBytes() {
    statusByte_ = -1;
    controlByte_ = -1;
}

void cResponseDecoder::ResetReadouts() {
    position_ = 0;
    positionCounts_ = 0;
    target_ = 0;
    targetCounts_ = 0;
    velocity_ = 0;
}

} // namespace kelvar
