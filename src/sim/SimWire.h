#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// The sensor's end of the wire format. It shares no code with the link's
// framing: were both ends to use one CRC routine, a fault in it would go
// unseen by every test that talks to the simulator.
namespace kelvar::sim::wire {

inline constexpr char Soh = 0x01; // begins an answer
inline constexpr char Stx = 0x02; // begins a request
inline constexpr char Etx = 0x03;
inline constexpr int CrcDigits = 4;

// CRC-16: polynomial 0x1021, most significant bit first, register starting
// at 0, no final XOR. Worked bit by bit rather than from a table.
std::uint16_t Crc(QByteArrayView bytes);

// Upper-case hexadecimal, zero-filled to width; higher digits are cut.
QByteArray Hex(std::uint32_t value, int width);

// 'a' for address 1 to 'z' for 26; 0 for any other address.
char AddressLetter(int address);

// start, body, the CRC of both as four upper-case digits, ETX.
QByteArray Frame(char start, QByteArrayView body);

// Whether what came between start and ETX ends in four hexadecimal digits,
// of either case, that carry the CRC of start and the characters before them.
bool CrcMatches(char start, QByteArrayView frame);

} // namespace kelvar::sim::wire
