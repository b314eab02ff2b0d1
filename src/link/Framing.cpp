#include "link/Framing.h"

#include <algorithm>

namespace kelvar {

std::uint16_t CrcValue(QByteArrayView text) {
    std::uint32_t reg = 0;
    for (const char c : text) {
        const auto index = ((reg >> 8) ^ static_cast<std::uint8_t>(c)) & 0xFFU;
        reg = ((reg << 8) ^ CrcTable[index]) & 0xFFFFU;
    }
    return static_cast<std::uint16_t>(reg);
}

QByteArray ComputeCrc(QByteArrayView text) {
    return PadText(QByteArray::number(CrcValue(text), 16).toUpper(), CrcDigits, u"R", u'0');
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

std::int32_t HexToLong(QByteArrayView text, bool signedForm) {
    std::uint32_t value = 0;
    int digits = 0;
    for (const char c : text) {
        if (c == ' ') {
            continue;
        }
        const int d = HexDigit(c);
        if (d < 0) {
            break;
        }
        // Only the low 32 bits of a longer run count, as a 32-bit register would keep.
        value = (value << 4) | static_cast<std::uint32_t>(d);
        ++digits;
    }
    if (signedForm && digits >= 1 && digits <= 4) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFFU));
    }
    return static_cast<std::int32_t>(value);
}

bool IsEmptyOrNul(QByteArrayView text) {
    return text.isEmpty() || text.contains('\0');
}

QByteArray HexField(std::int64_t value, int width) {
    if (value < 0) {
        return {};
    }
    const QByteArray digits = QByteArray::number(value, 16).toUpper();
    if (digits.size() > width) {
        return {};
    }
    return PadText(digits, width, u"R", u'0');
}

char AddressLetter(int address) {
    if (address < MinAddress || address > MaxAddress) {
        return 0;
    }
    return static_cast<char>('a' + address - 1);
}

QByteArray FrameRequest(int address, QByteArrayView commandText) {
    QByteArray body(1, STX);
    if (!commandText.startsWith('#')) {
        body += AddressLetter(address);
    }
    body += commandText;
    return body + ComputeCrc(body) + ETX;
}

QByteArray RequestText(const QByteArray& packet) {
    return packet.mid(1, packet.size() - 2);
}

bool FrameCrcMatches(QByteArrayView frame) {
    if (frame.size() < CrcDigits) {
        return false;
    }
    const auto covered = frame.first(frame.size() - CrcDigits);
    const auto received = frame.last(CrcDigits);
    // Compared as a number, so either letter case is fine; but a field with
    // anything other than four hexadecimal digits is no CRC at all, however
    // its leading digits read.
    if (!std::all_of(received.begin(), received.end(), [](char c) { return HexDigit(c) >= 0; })) {
        return false;
    }
    QByteArray text(1, SOH);
    text += covered;
    return HexToLong(received, false) == HexToLong(ComputeCrc(text), false);
}

QByteArray FrameResponse(QByteArrayView addressLetterLetterAndData) {
    QByteArray body(1, SOH);
    body += addressLetterLetterAndData;
    return body + ComputeCrc(body) + ETX;
}

} // namespace kelvar
