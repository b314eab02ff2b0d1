#include "sim/SimWire.h"

#include <gtest/gtest.h>

using namespace kelvar::sim;

// The expected values come from outside this code: 31C3 is the published
// check value of this CRC, the frames were worked out apart. Octal escapes
// (\1 SOH, \2 STX, \3 ETX) stop at a letter where \x would run on into it.
TEST(SimWire, CrcOfKnownTexts) {
    EXPECT_EQ(wire::Crc("123456789"), 0x31C3);
    EXPECT_EQ(wire::Crc(""), 0x0000);
    EXPECT_EQ(wire::Crc("\2aA"), 0x0E9E);
    EXPECT_EQ(wire::Crc("\1zR0A0014"), 0x7DAD);
}

TEST(SimWire, FramesCarryTheCrcAsFourUpperCaseDigits) {
    EXPECT_EQ(wire::Frame(wire::Stx, "aA"), "\2aA0E9E\3");
    EXPECT_EQ(wire::Frame(wire::Stx, "zD000C"), "\2zD000CAF6D\3");
    EXPECT_EQ(wire::Frame(wire::Soh, "aKD705DC"), "\1aKD705DC0B13\3");
    EXPECT_EQ(wire::Hex(0x1F4, 4), "01F4");
    EXPECT_EQ(wire::Hex(0xABCDE, 4), "BCDE");
}

TEST(SimWire, AddressLetters) {
    EXPECT_EQ(wire::AddressLetter(1), 'a');
    EXPECT_EQ(wire::AddressLetter(26), 'z');
    EXPECT_EQ(wire::AddressLetter(0), 0);
    EXPECT_EQ(wire::AddressLetter(27), 0);
}

TEST(SimWire, CrcCheck) {
    EXPECT_TRUE(wire::CrcMatches(wire::Stx, "aA0E9E"));
    EXPECT_TRUE(wire::CrcMatches(wire::Stx, "aA0e9e")) << "either letter case";
    EXPECT_TRUE(wire::CrcMatches(wire::Soh, "aKD705DC0B13"));
    EXPECT_FALSE(wire::CrcMatches(wire::Soh, "aA0E9E")) << "the start byte is covered";
    EXPECT_FALSE(wire::CrcMatches(wire::Stx, "aA0E9F"));
    EXPECT_FALSE(wire::CrcMatches(wire::Stx, "aB0E9E"));
    EXPECT_FALSE(wire::CrcMatches(wire::Stx, "aA E9E")) << "a blank is no leading zero";
    EXPECT_FALSE(wire::CrcMatches(wire::Stx, "E9E"));
}
