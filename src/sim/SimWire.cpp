#include "sim/SimWire.h"

namespace kelvar::sim::wire {

namespace {

int HexValue(char c) {
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

std::uint16_t Crc(QByteArrayView bytes) {
    std::uint16_t reg = 0;
    for (const char c : bytes) {
        reg ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (reg & 0x8000U) != 0;
            reg = static_cast<std::uint16_t>(reg << 1);
            if (top) {
                reg ^= 0x1021U;
            }
        }
    }
    return reg;
}

QByteArray Hex(std::uint32_t value, int width) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    QByteArray text(width, '0');
    for (int i = width - 1; i >= 0; --i, value >>= 4) {
        text[i] = Digits[value & 0xFU];
    }
    return text;
}

char AddressLetter(int address) {
    return address >= 1 && address <= 26 ? static_cast<char>('a' + address - 1) : 0;
}

QByteArray Frame(char start, QByteArrayView body) {
    QByteArray frame(1, start);
    frame += body;
    return frame + Hex(Crc(frame), CrcDigits) + Etx;
}

bool CrcMatches(char start, QByteArrayView frame) {
    if (frame.size() < CrcDigits) {
        return false;
    }
    std::uint32_t received = 0;
    for (const char c : frame.last(CrcDigits)) {
        const int digit = HexValue(c);
        if (digit < 0) {
            return false;
        }
        received = (received << 4) | static_cast<std::uint32_t>(digit);
    }
    QByteArray covered(1, start);
    covered += frame.chopped(CrcDigits);
    return received == Crc(covered);
}

} // namespace kelvar::sim::wire
