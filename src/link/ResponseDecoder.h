#pragma once

#include "model/BitMap.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kelvar {

class clsSensorData;

// StatusWord bits of the sensor's status byte, as stored (bits 3 and 5 inverted).
// The sensor's status byte (bits 0 to 7) and control byte (8 to 15).
namespace StatusBit {
inline constexpr int ZevirOk = 0;
inline constexpr int InPosition = 1;
inline constexpr int WithinLimits = 3;
inline constexpr int NullOk = 4;
inline constexpr int PositionOk = 5; // clear: the position is negative and reads as 0
inline constexpr int MotionEnabled = 7;
inline constexpr int Input2On = 13;
} // namespace StatusBit

// The answer kinds, by response letter.
enum class AnswerGroup {
    Position,
    Target,
    VelocityMode,
    Parameter,
    Accepted,
    Setpoint,
    Identity,
    Unknown
};

AnswerGroup GroupOf(char responseLetter);

// The answer a request is waiting for. Each request the program sends is
// answered with its own letter, and a setpoint request echoes its index; an
// answer that does not match belongs to some earlier request that timed out.
struct AnswerExpectation {
    // From the request's command text (letter and data). A command the
    // program does not send itself ("send" from the command line) takes any
    // letter.
    static AnswerExpectation For(QByteArrayView commandText);

    char letter = 0; // 0: any letter
    int echo = -1;   // the setpoint index an R or Q answer echoes; -1: none

    // frame: address letter, response letter, data, CRC digits.
    bool Matches(QByteArrayView frame) const;
};

// What one answer said for its request. Which fields hold anything depends
// on its group.
struct DecodedAnswer {
    AnswerGroup group = AnswerGroup::Unknown;
    // D, L, R, Q: d3 to d6 as hexadecimal; O: d1 d2 as a decimal number.
    std::int32_t value = 0;
    std::int16_t echo = 0; // R, Q: the setpoint index, d1 d2 as hexadecimal
    std::int16_t mode = 0; // C, G: d2 as a decimal digit (0 when it is not one)
    bool operator==(const DecodedAnswer&) const = default;
};

// Turns a checked answer frame (address, letter, data, CRC digits) into
// values: what the answer said for its request, the status and control bytes
// in the status word, and the live readouts.
class cResponseDecoder : public QObject {
    Q_OBJECT
public:
    static constexpr int IdentityItems = 100;

    explicit cResponseDecoder(clsBitMap& statusWord, QObject* parent = nullptr);

    // The record whose resolution and velocity mode scale the readouts.
    void setSensor(const clsSensorData* sensor);

    // Empty for a letter it does not know: such an answer is dropped.
    std::optional<DecodedAnswer> Decode(QByteArrayView frame);

    // --- identity characters of the F answers, one per item
    void ClearIdentity();
    // Blanks up to the given fill count, where an answer did not come.
    void SkipIdentityItems(int fillCount);
    int IdentityFillCount() const { return identityCount_; }
    // Items 0 to IdentityItems - 1 joined.
    QString IdentityText() const;

    // --- live values
    // Forget the status and control bytes: the next answer sets them whatever
    // they hold.
    void ForgetStatusBytes();
    // Position, target and velocity become 0; whoever shows them redraws.
    void ResetReadouts();
    int StatusByte() const { return statusByte_; }
    int ControlByte() const { return controlByte_; }
    std::int32_t PositionCounts() const { return positionCounts_; }
    float Position() const { return position_; }
    std::int32_t TargetCounts() const { return targetCounts_; }
    float Target() const { return target_; }
    float Velocity() const { return velocity_; }
    // "#0.00" or "##0.0", by the velocity mode of the last shown velocity.
    const QString& VelocityPattern() const { return velocityPattern_; }

signals:
    // Every position answer; `changed` when it differs from the one last shown.
    void positionAnswered(float position, bool changed);
    void targetChanged(float target);
    // Every velocity answer, 0 included.
    void velocityShown(float velocity);

private:
    float Resolution() const;

    clsBitMap& statusWord_;
    const clsSensorData* sensor_ = nullptr;
    std::array<char, IdentityItems> identity_{};
    int identityCount_ = 0;
    int statusByte_ = -1; // -1: none received since the last reset
    int controlByte_ = -1;
    std::int32_t positionCounts_ = 0;
    float position_ = 0;
    std::int32_t targetCounts_ = 0;
    float target_ = 0;
    float velocity_ = 0;
    QString velocityPattern_ = QStringLiteral("#0.00");
};

} // namespace kelvar
