#include "link/Framing.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {
QByteArray Bytes(std::initializer_list<char> chars) {
    return QByteArray(chars.begin(), static_cast<qsizetype>(chars.size()));
}
} // namespace

TEST(Crc, TableEntries) {
    EXPECT_EQ(CrcTable[0], 0x0000);
    EXPECT_EQ(CrcTable[1], 0x1021);
    EXPECT_EQ(CrcTable[2], 0x2042);
    EXPECT_EQ(CrcTable[128], 0x9188);
    EXPECT_EQ(CrcTable[255], 0x1EF0);
}

TEST(Crc, KnownTextsAndLeadingZeros) {
    EXPECT_EQ(ComputeCrc("123456789"), "31C3");
    EXPECT_EQ(ComputeCrc(Bytes({STX, 'a', 'A'})), "0E9E");
    EXPECT_EQ(ComputeCrc(Bytes({STX, 'a', 'D', '0', '0', '0', 'C'})), "764B");
    EXPECT_EQ(ComputeCrc(Bytes({SOH, 'a', 'A'})), "57CE");
    EXPECT_EQ(ComputeCrc(""), "0000");
}

TEST(Framing, Requests) {
    EXPECT_EQ(FrameRequest(1, "A"), Bytes({STX, 'a', 'A', '0', 'E', '9', 'E', ETX}));
    EXPECT_EQ(FrameRequest(26, "A").at(1), 'z');
    const QByteArray unaddressed = FrameRequest(5, "#X");
    EXPECT_EQ(unaddressed.left(3), Bytes({STX, '#', 'X'}));
    EXPECT_EQ(unaddressed.mid(3, 4), ComputeCrc(Bytes({STX, '#', 'X'})));
    EXPECT_EQ(unaddressed.size(), 8);
    EXPECT_EQ(RequestText(FrameRequest(1, "A")), "aA0E9E");
    EXPECT_EQ(AddressLetter(0), 0);
    EXPECT_EQ(AddressLetter(27), 0);
}

TEST(Framing, ResponseCrcCheck) {
    const QByteArray good = FrameResponse("aA00C0FF");
    const QByteArray frame = good.mid(1, good.size() - 2);
    EXPECT_TRUE(FrameCrcMatches(frame));
    const QByteArray lowerDigits = frame.left(frame.size() - 4) + frame.right(4).toLower();
    ASSERT_NE(lowerDigits, frame) << "the CRC of this frame should hold a letter";
    EXPECT_TRUE(FrameCrcMatches(lowerDigits));
    QByteArray bad = frame;
    bad[2] = '1';
    EXPECT_FALSE(FrameCrcMatches(bad));
    // Digits that read as the right number but are not four hex digits: a
    // blank for a leading zero, or a stray letter after the digits.
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
    // Too short to hold the four digits.
    for (const char* text : {"", "a", "aA", "aAB"}) {
        EXPECT_FALSE(FrameCrcMatches(text)) << text;
    }
}

TEST(TextHelpers, PadText) {
    EXPECT_EQ(PadText(QString("7"), 4, u"R", u'0'), "0007");
    EXPECT_EQ(PadText(QString("12345"), 4, u"R", u'0'), "1234");
    EXPECT_EQ(PadText(QString("ab"), 5, u"C", u'*'), "**ab*");
    EXPECT_EQ(PadText(QString("ab"), 4, u""), "ab  ");
    EXPECT_EQ(PadText(QString("ab"), 4), "ab  ");
    EXPECT_EQ(PadText(QByteArray("F"), 2, u"R", u'0'), QByteArray("0F"));
    EXPECT_EQ(PadText(QString("ab"), 0), "");
}

TEST(TextHelpers, HexToLong) {
    struct Case {
        const char* text;
        bool signedForm;
        std::int32_t value;
    };
    const Case cases[] = {
        {"FFFF", true, -1},
        {"FFFF", false, 65535},
        {"8000", true, -32768},
        {"7FFF", true, 32767},
        {"12G4", false, 18},
        {"", false, 0},
        {"", true, 0},
        {"ff", false, 255},
        {" 1 2", false, 0x12},
        {"FFFFFFFF", false, -1},
        {"FFFFF", true, 0xFFFFF},
        {"G", false, 0},
        {"80000000", true, static_cast<std::int32_t>(0x80000000U)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexToLong(c.text, c.signedForm), c.value) << c.text << " " << c.signedForm;
    }
}

TEST(TextHelpers, IsEmptyOrNul) {
    EXPECT_TRUE(IsEmptyOrNul(""));
    EXPECT_TRUE(IsEmptyOrNul(Bytes({'a', '\0', 'b'})));
    EXPECT_TRUE(IsEmptyOrNul(Bytes({'\0'})));
    EXPECT_FALSE(IsEmptyOrNul("abc"));
    EXPECT_FALSE(IsEmptyOrNul(" "));
}

TEST(TextHelpers, HexFieldRefusesWhatDoesNotFit) {
    EXPECT_EQ(HexField(12, 4), "000C");
    EXPECT_EQ(HexField(65535, 4), "FFFF");
    EXPECT_EQ(HexField(65536, 4), "");
    EXPECT_EQ(HexField(0xFFF, 3), "FFF");
    EXPECT_EQ(HexField(0x1000, 3), "");
    EXPECT_EQ(HexField(-1, 4), "");
}
