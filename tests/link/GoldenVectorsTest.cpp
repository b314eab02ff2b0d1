// Request and answer frames as they travel, with CRC digits worked out
// outside the program (CRC-16, polynomial 0x1021, initial value 0, over the
// start byte and everything up to the digits). The simulator checks with its
// own CRC, so these are what ties the program's CRC to the sensor's.
#include "link/Framing.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

struct Exchange {
    int address;
    const char* command;
    // Octal escapes, which stop at a letter where \x would run on into it:
    // \1 SOH, \2 STX, \3 ETX.
    const char* request;
    const char* answer;
};

constexpr Exchange Exchanges[] = {
    {1, "A", "\2aA0E9E\3", "\1aAD7000099C4\3"},
    {1, "B", "\2aB3EFD\3", "\1aB05000046F8\3"},
    {1, "C", "\2aC2EDC\3", "\1aC05012CE13F\3"},
    {1, "D000C", "\2aD000C764B\3", "\1aD0001F411C1\3"},
    {1, "F0030", "\2aF0030296F\3", "\1aF24000 B41E\3"},
    {1, "G0005", "\2aG000586C8\3", "\1aG0500003F5F\3"},
    {1, "I05DC", "\2aI05DC785C\3", "\1aI4505DC6AEF\3"},
    {1, "K0064", "\2aK0064B764\3", "\1aKD705DC0B13\3"},
    {1, "L0210123", "\2aL0210123CAAE\3", "\1aL0001233616\3"},
    {1, "Q2030064", "\2aQ2030064854D\3", "\1aQ0300648EA6\3"},
    {1, "R100A", "\2aR100AE962\3", "\1aR0A001496B6\3"},
    // The last address: its letter, not the command, is what differs.
    {26, "A", "\2zAD117\3", "\1zAD7000072DF\3"},
    {26, "F0030", "\2zF0030F049\3", "\1zF24000 5F05\3"},
    {26, "L0210123", "\2zL02101239DEB\3", "\1zL000123DD0D\3"},
};

// Another character of the same kind: the next hexadecimal digit for a
// digit, a neighbouring code for anything else.
char Changed(char c) {
    if (c == '9') {
        return 'A';
    }
    if (c == 'F') {
        return '0';
    }
    if ((c >= '0' && c <= '8') || (c >= 'A' && c <= 'E')) {
        return static_cast<char>(c + 1);
    }
    return static_cast<char>(c ^ 1);
}

} // namespace

TEST(GoldenVectors, RequestsAreFramedAsWorkedOut) {
    for (const Exchange& exchange : Exchanges) {
        EXPECT_EQ(FrameRequest(exchange.address, exchange.command), QByteArray(exchange.request))
            << exchange.address << " " << exchange.command;
    }
}

TEST(GoldenVectors, AnswersPassTheCrcCheckAndNoChangedOneDoes) {
    for (const Exchange& exchange : Exchanges) {
        const QByteArray wire(exchange.answer);
        const QByteArray frame = wire.mid(1, wire.size() - 2);
        EXPECT_TRUE(FrameCrcMatches(frame)) << frame.toStdString();
        EXPECT_TRUE(FrameCrcMatches(frame.chopped(CrcDigits) + frame.right(CrcDigits).toLower()))
            << "either letter case";
        // Other link tests build their answers with FrameResponse.
        EXPECT_EQ(FrameResponse(frame.chopped(CrcDigits)), wire) << frame.toStdString();
        for (qsizetype i = 0; i < frame.size(); ++i) {
            QByteArray changed = frame;
            changed[i] = Changed(changed[i]);
            EXPECT_FALSE(FrameCrcMatches(changed)) << changed.toStdString();
        }
    }
}
