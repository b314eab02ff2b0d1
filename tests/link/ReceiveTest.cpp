// Frame assembly: the same frames fed whole, split in two and byte by byte.
#include "link/Framing.h"
#include "support/SimLine.h"
#include "support/WhileWaiting.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

enum class Feed { Whole, Halves, Bytes };

// No sensor answers on this line: what arrives is fed in.
class ReceiveTest : public ::testing::TestWithParam<Feed>, public test::SimLine {
protected:
    // The bytes arrive while a request to address 1 waits; returns how the
    // request ended.
    cSensorLink::Outcome Feed(const QByteArray& bytes) {
        test::WhileWaiting(link, [this, bytes] {
            const qsizetype piece = GetParam() == Feed::Whole    ? bytes.size()
                                    : GetParam() == Feed::Halves ? bytes.size() / 2 + 1
                                                                 : 1;
            for (qsizetype at = 0; at < bytes.size(); at += piece) {
                link.ReceiveChars(bytes.mid(at, piece));
            }
        });
        return link.SendCommand("A", 1).outcome;
    }

    // The frame between SOH and ETX that ParsePacket saw last.
    QString Seen() const { return QString::fromLatin1(link.LastFrame()); }
};

} // namespace

TEST_P(ReceiveTest, TwelveCharactersAreAFrameThirteenAreNot) {
    const QByteArray twelve = FrameResponse("aA00C0FF"); // a, A, six data, four CRC
    ASSERT_EQ(twelve.size(), 14);
    EXPECT_EQ(Feed(twelve), cSensorLink::Outcome::Answered);
    EXPECT_EQ(Seen(), QString::fromLatin1(twelve.mid(1, 12)));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0xC0FF);

    link.ReceiveChars(QByteArray(1, ETX)); // clear what was seen
    const QByteArray thirteen = FrameResponse("aA00C0FF1");
    EXPECT_EQ(Feed(thirteen), cSensorLink::Outcome::NoAnswer);
    EXPECT_EQ(Seen(), QString()) << "the long frame was dropped, not parsed";

    const QByteArray next = FrameResponse("aA40012C");
    EXPECT_EQ(Feed(next), cSensorLink::Outcome::Answered);
    EXPECT_EQ(Seen(), QString::fromLatin1(next.mid(1, next.size() - 2)));
}

TEST_P(ReceiveTest, SecondSohRestartsAndLeadingNoiseIsIgnored) {
    const QByteArray good = FrameResponse("aA00C0FF");
    EXPECT_EQ(Feed(QByteArray("xyz\x7F\xFF", 5) + QByteArray(1, SOH) + "aA00" + good),
              cSensorLink::Outcome::Answered);
    EXPECT_EQ(Seen(), QString::fromLatin1(good.mid(1, good.size() - 2)));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0xC0FF);
}

TEST_P(ReceiveTest, BadCrcAndShortFramesAreCrcErrors) {
    for (const char* body : {"aA00C0FF0000", "a", "aA", "aAB"}) {
        link.StatusWord.ClearBit(LinkBit::CrcError);
        EXPECT_EQ(Feed(QByteArray(1, SOH) + body + QByteArray(1, ETX)),
                  cSensorLink::Outcome::BadAnswer);
        EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::CrcError)) << body;
    }
    EXPECT_EQ(Feed(FrameResponse("aA00C0FF")), cSensorLink::Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));
}

TEST_P(ReceiveTest, UnknownLetterIsDroppedButClearsTheCrcFlag) {
    link.StatusWord.SetBit(LinkBit::CrcError);
    EXPECT_EQ(Feed(FrameResponse("aZ000000")), cSensorLink::Outcome::BadAnswer);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));
    EXPECT_FALSE(link.ReplyValid());
}

INSTANTIATE_TEST_SUITE_P(Feeds, ReceiveTest,
                         ::testing::Values(Feed::Whole, Feed::Halves, Feed::Bytes));
