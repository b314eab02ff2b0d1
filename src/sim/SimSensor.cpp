#include "sim/SimSensor.h"

#include "model/Errors.h"
#include "sim/SimWire.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace kelvar::sim {

namespace {

// Factory values of the defined parameters; every other one starts at 0.
constexpr std::pair<int, std::uint16_t> FactoryDefaults[] = {
    {2, 500}, {3, 500}, {4, 100},  {5, 100},  {6, 255}, {7, 255}, {8, 100}, {9, 100}, {10, 0},
    {11, 0},  {12, 1},  {14, 255}, {15, 255}, {16, 0},  {17, 0},  {18, 0},  {19, 0},  {20, 0},
    {30, 50}, {31, 0},  {32, 60},  {33, 0},   {35, 0},  {41, 1},  {55, 1},  {56, 1},  {57, 2047},
    {58, 0},  {59, 0},  {60, 2},   {61, 0},   {62, 0},  {65, 0},
};

// The tool writes only upper-case digits; anything else is not a number here.
std::optional<int> ReadHex(QByteArrayView text, qsizetype width) {
    if (text.size() != width) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::optional<int> ReadDigit(char c) {
    if (c < '0' || c > '9') {
        return std::nullopt;
    }
    return c - '0';
}

// ZERO ADJUST travels as a 16-bit field: values above 32767 stand for
// value - 65535, the tool's encoding of a negative offset.
int SignedZeroAdjust(std::uint16_t field) {
    return field > 32767 ? field - 65535 : field;
}

void CheckIndex(const char* what, int index, int count) {
    if (index < 0 || index >= count) {
        throw SubscriptOutOfRange(what, index, 0, count - 1);
    }
}

} // namespace

SimSensor::SimSensor(const SensorConfig& config)
    : config_(config), address_(config.address), baud_(config.baud) {
    if (const QString problem = config.problem(); !problem.isEmpty()) {
        throw std::invalid_argument(problem.toStdString());
    }
    identity_ = config.identityRecord();
    for (const auto& [index, value] : FactoryDefaults) {
        parameters_[static_cast<std::size_t>(index)] = value;
    }
    parameters_[Param::SensorLength] = static_cast<std::uint16_t>(config.lengthCounts);
    parameters_[Param::Address] = static_cast<std::uint16_t>(config.address);
    parameters_[Param::BaudRate] = static_cast<std::uint16_t>(BaudCode(config.baud));
    position_ = std::clamp(config.startCounts, 0, config.lengthCounts);
    target_ = static_cast<std::uint16_t>(position_);
    // Targets spread evenly over the stroke, a slow velocity, a short dwell.
    for (int i = 0; i < SetpointCount; ++i) {
        auto& setpoint = setpoints_[static_cast<std::size_t>(i)];
        setpoint[0] = static_cast<std::uint16_t>(
            std::lround(static_cast<double>(config.lengthCounts) * (i + 1) / (SetpointCount + 1)));
        setpoint[1] = 20;
        setpoint[2] = 10;
    }
}

std::optional<QByteArray> SimSensor::Respond(QByteArrayView command, qint64 nowMs) {
    AdvanceTo(nowMs);
    const std::optional<QByteArray> fields = Answer(command);
    if (!fields) {
        return std::nullopt;
    }
    return wire::Frame(wire::Soh, wire::AddressLetter(address_) + *fields);
}

std::optional<QByteArray> SimSensor::Answer(QByteArrayView command) {
    if (command.isEmpty()) {
        return std::nullopt;
    }
    const char letter = command.front();
    const QByteArrayView data = command.sliced(1);
    const QByteArray reply(1, letter);
    switch (letter) {
    case 'A':
    case 'B':
    case 'C':
        if (!data.isEmpty()) {
            return std::nullopt;
        }
        return reply + (letter == 'A'   ? PositionFields()
                        : letter == 'B' ? TargetFields()
                                        : ModeFields());
    case 'D': {
        const auto index = ReadHex(data, 4);
        if (!index || *index >= ParameterCount) {
            return std::nullopt;
        }
        return reply + "00" + wire::Hex(parameter(*index), 4);
    }
    case 'F': {
        const auto offset = ReadHex(data, 4);
        if (!offset) {
            return std::nullopt;
        }
        return reply + identity_.mid(*offset, 6).leftJustified(6);
    }
    case 'G': {
        const auto mode = ReadHex(data, 4);
        if (!mode || *mode > 9) { // the answer carries the mode as one digit
            return std::nullopt;
        }
        mode_ = *mode;
        return reply + ModeFields();
    }
    case 'I':
    case 'K': {
        const auto value = ReadHex(data, 4);
        if (!value) {
            return std::nullopt;
        }
        if (letter == 'I') {
            target_ = static_cast<std::uint16_t>(*value);
            return reply + TargetFields();
        }
        velocity_ = static_cast<std::uint16_t>(*value);
        return reply + PositionFields();
    }
    case 'L': {
        if (data.size() != 7) {
            return std::nullopt;
        }
        const auto index = ReadHex(data.first(3), 3);
        const auto value = ReadHex(data.sliced(3), 4);
        if (!index || !value || *index >= ParameterCount) {
            return std::nullopt;
        }
        if (mode_ == WriteMode) {
            StoreParameter(*index, static_cast<std::uint16_t>(*value));
        }
        return reply + "00" + wire::Hex(parameter(*index), 4);
    }
    case 'Q':
    case 'R': {
        const qsizetype indexWidth = letter == 'Q' ? 2 : 3;
        if (data.size() != 1 + indexWidth + (letter == 'Q' ? 4 : 0)) {
            return std::nullopt;
        }
        const auto field = ReadDigit(data.front());
        const auto index = ReadHex(data.sliced(1, indexWidth), indexWidth);
        if (!field || *field >= SetpointFields || !index || *index >= SetpointCount) {
            return std::nullopt;
        }
        if (letter == 'Q') {
            const auto value = ReadHex(data.sliced(1 + indexWidth), 4);
            if (!value) {
                return std::nullopt;
            }
            if (mode_ == WriteMode) {
                setSetpoint(*index, *field, static_cast<std::uint16_t>(*value));
            }
        }
        return reply + wire::Hex(*index, 2) + wire::Hex(setpoint(*index, *field), 4);
    }
    default:
        return std::nullopt;
    }
}

void SimSensor::StoreParameter(int index, std::uint16_t value) {
    switch (index) {
    case Param::SensorLength: // fixed at the factory
        return;
    case Param::Address:
        if (wire::AddressLetter(value) == 0) {
            return;
        }
        break;
    case Param::BaudRate:
        if (BaudOfCode(value) == 0) {
            return;
        }
        break;
    case Param::ZeroAdjust:
        // The reading shifts with the offset; the cylinder itself stays put.
        position_ += SignedZeroAdjust(value) - SignedZeroAdjust(parameters_[Param::ZeroAdjust]);
        break;
    default:
        break;
    }
    parameters_[static_cast<std::size_t>(index)] = value;
}

void SimSensor::PowerCycle() {
    const int address = parameters_[Param::Address];
    if (wire::AddressLetter(address) != 0) {
        address_ = address;
    }
    if (const qint32 baud = BaudOfCode(parameters_[Param::BaudRate]); baud != 0) {
        baud_ = baud;
    }
    mode_ = 0;
    velocity_ = PowerUpVelocity;
    target_ = static_cast<std::uint16_t>(std::clamp<long>(PositionCounts(), 0, 0xFFFF));
}

void SimSensor::AdvanceTo(qint64 nowMs) {
    if (lastMs_ && nowMs > *lastMs_) {
        const double goal = Goal();
        const double step = CountsPerMs() * static_cast<double>(nowMs - *lastMs_);
        position_ =
            position_ < goal ? std::min(goal, position_ + step) : std::max(goal, position_ - step);
    }
    if (!lastMs_ || nowMs > *lastMs_) {
        lastMs_ = nowMs;
    }
}

double SimSensor::Goal() const {
    const double low = SignedZeroAdjust(parameters_[Param::ZeroAdjust]);
    const double high = low + parameters_[Param::SensorLength];
    return std::clamp(static_cast<double>(target_), low, high);
}

double SimSensor::CountsPerMs() const {
    // Hundredths of a length unit per second in velocity-enable mode 1, else tenths.
    const double perUnit = parameters_[Param::VelocityEnable] == 1 ? 100.0 : 10.0;
    return velocity_ / perUnit / config_.resolutionValue() / 1000.0;
}

long SimSensor::PositionCounts() const {
    return std::lround(position_);
}

std::uint16_t SimSensor::currentVelocity() const {
    return position_ != Goal() ? velocity_ : 0;
}

std::uint8_t SimSensor::statusByte() const {
    const long position = PositionCounts();
    const bool inPosition = std::abs(position - target_) <= parameters_[Param::InPositionWindow];
    const long minimum = parameters_[Param::MinimumTravel];
    const long maximum = parameters_[Param::MaximumTravel];
    // Travel limits count only once a maximum above the minimum is set.
    const bool overtravel = maximum > minimum && (position < minimum || position > maximum);
    constexpr std::uint8_t zevirOk = 0x01, systemOk = 0x04, nullOk = 0x10, on = 0x40,
                           motionEnabled = 0x80;
    std::uint8_t status = zevirOk | systemOk | nullOk | on;
    if (motionEnabled_) {
        status |= motionEnabled;
    }
    if (inPosition) {
        status |= 0x02;
    }
    if (overtravel) {
        status |= 0x08;
    }
    if (position < 0) {
        status |= 0x20;
    }
    return status;
}

std::uint8_t SimSensor::controlByte() const {
    constexpr std::uint8_t on = 0x01, powerOk = 0x04, writeEnabled = 0x40, airCylinder = 0x80;
    std::uint8_t control = on | powerOk;
    if (mode_ == WriteMode) {
        control |= writeEnabled;
    }
    if (parameters_[Param::CylinderType] == 1) {
        control |= airCylinder;
    }
    return control;
}

QByteArray SimSensor::PositionFields() const {
    // The sign travels in the status byte; the field holds the magnitude.
    const long magnitude = std::min<long>(std::labs(PositionCounts()), 0xFFFF);
    return wire::Hex(statusByte(), 2) + wire::Hex(magnitude, 4);
}

QByteArray SimSensor::TargetFields() const {
    return wire::Hex(controlByte(), 2) + wire::Hex(target_, 4);
}

QByteArray SimSensor::ModeFields() const {
    return QByteArray(1, '0') + static_cast<char>('0' + mode_) + wire::Hex(currentVelocity(), 4);
}

std::uint16_t SimSensor::parameter(int index) const {
    CheckIndex("parameter", index, ParameterCount);
    return parameters_[static_cast<std::size_t>(index)];
}

void SimSensor::setParameter(int index, std::uint16_t value) {
    CheckIndex("parameter", index, ParameterCount);
    parameters_[static_cast<std::size_t>(index)] = value;
}

std::uint16_t SimSensor::setpoint(int index, int field) const {
    CheckIndex("setpoint", index, SetpointCount);
    CheckIndex("setpoint field", field, SetpointFields);
    return setpoints_[static_cast<std::size_t>(index)][static_cast<std::size_t>(field)];
}

void SimSensor::setSetpoint(int index, int field, std::uint16_t value) {
    CheckIndex("setpoint", index, SetpointCount);
    CheckIndex("setpoint field", field, SetpointFields);
    setpoints_[static_cast<std::size_t>(index)][static_cast<std::size_t>(field)] = value;
}

} // namespace kelvar::sim
