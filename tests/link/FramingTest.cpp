#include "link/Framing.h"

#include <gtest/gtest.h>

using namespace kelvar;

TEST(Framing, UnaddressedRequestCarriesNoAddressLetter) {
    const QByteArray start("\2#X");
    EXPECT_EQ(FrameRequest(5, "#X"), start + ComputeCrc(start) + ETX);
}

TEST(Framing, CrcDigitsThatOnlyReadAsTheRightNumberAreRefused) {
    // A blank for a leading zero, or a stray letter after the digits.
    for (int data = 0; data < 0x10000; ++data) {
        const QByteArray body = "aD00" + HexField(data, 4);
        const QByteArray crc = ComputeCrc(QByteArray(1, SOH) + body);
        if (crc.startsWith("00")) {
            EXPECT_TRUE(FrameCrcMatches(body + crc));
            EXPECT_FALSE(FrameCrcMatches(body + " " + crc.mid(1)));
            EXPECT_FALSE(FrameCrcMatches(body + crc.mid(2) + "G0"));
            break;
        }
    }
}

// The fills are in every request's CRC digits and the log's columns.
TEST(TextHelpers, PadTextCutsLongerTextToWidth) {
    EXPECT_EQ(PadText(QString("12345"), 4, u"R", u'0'), "1234");
}

TEST(TextHelpers, HexToLong) {
    const std::tuple<const char*, bool, std::int32_t> cases[] = {
        {"FFFF", true, -1},       {"FFFF", false, 65535},
        {"8000", true, -32768},   {"7FFF", true, 32767},
        {"12G4", false, 18},      {"", true, 0},
        {" 1 2", false, 0x12},    {"FFFFFFFF", false, -1},
        {"FFFFF", true, 0xFFFFF}, {"80000000", true, static_cast<std::int32_t>(0x80000000U)},
    };
    for (const auto& [text, signedForm, value] : cases) {
        EXPECT_EQ(HexToLong(text, signedForm), value) << text << " " << signedForm;
    }
}
