// Frame assembly: the same frames fed whole, split in two and byte by byte.
#include "link/Framing.h"
#include "link/SensorLink.h"
#include "sim/SimNetwork.h"
#include "sim/SimSerialPort.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

enum class Feed { Whole, Halves, Bytes };

class ReceiveTest : public ::testing::TestWithParam<Feed> {
protected:
    ReceiveTest() : port(network, {}), link(port) {}

    void Feed(const QByteArray& bytes) {
        switch (GetParam()) {
        case Feed::Whole:
            link.ReceiveChars(bytes);
            break;
        case Feed::Halves:
            link.ReceiveChars(bytes.left(bytes.size() / 2));
            link.ReceiveChars(bytes.mid(bytes.size() / 2));
            break;
        case Feed::Bytes:
            for (char c : bytes) {
                link.ReceiveChars(QByteArray(1, c));
            }
            break;
        }
    }

    // The frame between SOH and ETX that ParsePacket saw last.
    QString Seen() const { return link.Display().rxData; }

    sim::SimNetwork network;
    sim::SimSerialPort port;
    cSensorLink link;
};

} // namespace

TEST_P(ReceiveTest, TwelveCharactersAreAFrameThirteenAreNot) {
    const QByteArray twelve = FrameResponse("aA00C0FF"); // a, A, six data, four CRC
    ASSERT_EQ(twelve.size(), 14);
    Feed(twelve);
    EXPECT_EQ(Seen(), QString::fromLatin1(twelve.mid(1, 12)));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0xC0FF);

    link.ReceiveChars(QByteArray(1, ETX)); // clear what was seen
    const QByteArray thirteen = FrameResponse("aA00C0FF1");
    Feed(thirteen);
    EXPECT_EQ(Seen(), QString()) << "the long frame was dropped, not parsed";

    const QByteArray next = FrameResponse("aB40012C");
    Feed(next);
    EXPECT_EQ(Seen(), QString::fromLatin1(next.mid(1, next.size() - 2)));
}

TEST_P(ReceiveTest, SecondSohRestartsAndLeadingNoiseIsIgnored) {
    const QByteArray good = FrameResponse("aA00C0FF");
    Feed(QByteArray("xyz\x7F\xFF", 5) + QByteArray(1, SOH) + "aA00" + good);
    EXPECT_EQ(Seen(), QString::fromLatin1(good.mid(1, good.size() - 2)));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0xC0FF);
}

TEST_P(ReceiveTest, BadCrcAndShortFramesAreCrcErrors) {
    for (const char* body : {"aA00C0FF0000", "a", "aA", "aAB"}) {
        link.StatusWord.ClearBit(LinkBit::CrcError);
        Feed(QByteArray(1, SOH) + body + QByteArray(1, ETX));
        EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::CrcError)) << body;
    }
    Feed(FrameResponse("aA00C0FF"));
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));
}

TEST_P(ReceiveTest, UnknownLetterIsDroppedButClearsTheCrcFlag) {
    link.StatusWord.SetBit(LinkBit::CrcError);
    Feed(FrameResponse("aZ000000"));
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));
    EXPECT_FALSE(link.ReplyValid());
}

INSTANTIATE_TEST_SUITE_P(Feeds, ReceiveTest,
                         ::testing::Values(Feed::Whole, Feed::Halves, Feed::Bytes));
