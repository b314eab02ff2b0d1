#pragma once

#include <QByteArrayView>

namespace kelvar {

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

// Turns a checked answer frame (address, letter, data, CRC digits) into
// values. Returns false for a letter it does not know: such an answer is
// dropped.
class cResponseDecoder {
public:
    bool Decode(QByteArrayView frame);
};

} // namespace kelvar
