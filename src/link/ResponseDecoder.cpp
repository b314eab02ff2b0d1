#include "link/ResponseDecoder.h"

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

bool cResponseDecoder::Decode(QByteArrayView frame) {
    return frame.size() >= 2 && GroupOf(frame.at(1)) != AnswerGroup::Unknown;
}

} // namespace kelvar
