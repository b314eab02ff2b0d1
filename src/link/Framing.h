#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>

// Packet framing and the text helpers shared by the link and the command
// builders. Wire text is QByteArray, one byte per character.
namespace kelvar {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;

inline constexpr int MinAddress = 1;
inline constexpr int MaxAddress = 26;

// Characters between SOH and ETX of a response: address, letter, up to six
// data characters, four CRC digits.
inline constexpr int MaxFrameChars = 12;
inline constexpr int CrcDigits = 4;

using CrcTableType = std::array<std::uint16_t, 257>;

// CRC-16, polynomial 0x1021, MSB first, initial value 0. Entry 256 is spare.
constexpr CrcTableType BuildCrcTable() {
    CrcTableType table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 8;
        for (int step = 0; step < 8; ++step) {
            reg = (reg & 0x8000U) ? ((reg << 1) ^ 0x1021U) : (reg << 1);
            reg &= 0xFFFFU;
        }
        table[i] = static_cast<std::uint16_t>(reg);
    }
    return table;
}

inline constexpr CrcTableType CrcTable = BuildCrcTable();

std::uint16_t CrcValue(QByteArrayView text);
// Four upper-case hexadecimal digits, zero-filled on the left.
QByteArray ComputeCrc(QByteArrayView text);

// Reads hexadecimal digits: blanks are skipped, reading stops at the first
// other character. signedForm takes 1-4 digits as a signed 16-bit number.
std::int32_t HexToLong(QByteArrayView text, bool signedForm);

bool IsEmptyOrNul(QByteArrayView text);

// Alignment "L" or empty: text first; "R": fill first; anything else centres
// with the odd fill character on the left. Longer text is cut to width.
template <class Text>
Text PadText(const Text& text, int width, QStringView alignment = u"L", QChar fill = u' ') {
    if (width <= 0) {
        return Text();
    }
    if (text.size() >= width) {
        return text.left(width);
    }
    const auto fillCount = width - text.size();
    const auto fillText = [&](qsizetype n) {
        if constexpr (std::is_same_v<Text, QByteArray>) {
            return QByteArray(n, fill.toLatin1());
        } else {
            return QString(n, fill);
        }
    };
    if (alignment.isEmpty() || alignment == u"L") {
        return text + fillText(fillCount);
    }
    if (alignment == u"R") {
        return fillText(fillCount) + text;
    }
    const auto right = fillCount / 2;
    return fillText(fillCount - right) + text + fillText(right);
}

// Upper-case hexadecimal, right-aligned with "0" to width. Returns an empty
// array when the value does not fit (negative, or more digits than width):
// a cut number would put a different value on the wire.
QByteArray HexField(std::int64_t value, int width);

// The wire letter of a network address 1 to 26; 0 for any other address.
char AddressLetter(int address);

// STX, address letter (left out when the command begins with "#"), command,
// CRC digits, ETX.
QByteArray FrameRequest(int address, QByteArrayView commandText);
// The same without STX and ETX: what the window shows of the last request.
QByteArray RequestText(const QByteArray& packet);

// CRC check of the characters between SOH and ETX. A frame too short to hold
// the four CRC digits fails.
bool FrameCrcMatches(QByteArrayView frame);

// SOH, frame, ETX with a freshly computed CRC: the sensor side of framing.
QByteArray FrameResponse(QByteArrayView addressLetterLetterAndData);

} // namespace kelvar
