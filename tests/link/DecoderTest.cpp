// Every answer group, as the link's decoder takes it.
#include "link/Framing.h"
#include "model/SensorData.h"
#include "support/SimLine.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class DecoderTest : public ::testing::Test, public test::SimLine {
protected:
    DecoderTest() { decoder.setSensor(&sensor); }

    // The frame as the link hands it over once it has checked it.
    std::optional<DecodedAnswer> Answer(const QByteArray& addressLetterAndData) {
        const QByteArray frame = FrameResponse(addressLetterAndData);
        return decoder.Decode(frame.mid(1, frame.size() - 2));
    }

    cResponseDecoder& decoder = link.Decoder();
    clsSensorData sensor;
};

} // namespace

TEST_F(DecoderTest, StatusByteIsMirroredWithBits3And5Inverted) {
    // A remembered byte of 0 must not hide a first answer of 00: its bits 3
    // and 5 still have to be inverted, or the position would read 0.
    Answer("aA0003E8");
    EXPECT_TRUE(link.StatusWord.TestBit(5));
    EXPECT_TRUE(link.StatusWord.TestBit(3));
    EXPECT_FLOAT_EQ(decoder.Position(), 1.0F);

    Answer("aAD70BB8"); // D7: 1101 0111, position 3000 counts
    EXPECT_EQ(link.StatusWord.Map() & 0xFF, 0xD7 ^ 0x28);
    EXPECT_FLOAT_EQ(decoder.Position(), 3.0F);

    // Bit 5 set by the sensor (negative position): after inversion it is
    // clear, and the position shows 0 whatever the field holds.
    Answer("aAF70BB8");
    EXPECT_FALSE(link.StatusWord.TestBit(5));
    EXPECT_FLOAT_EQ(decoder.Position(), 0.0F);
    EXPECT_EQ(decoder.PositionCounts(), 0);
}

TEST_F(DecoderTest, UnchangedPositionOrTargetIsNotShownAgain) {
    QSignalSpy positions(&decoder, &cResponseDecoder::positionAnswered);
    QSignalSpy targets(&decoder, &cResponseDecoder::targetChanged);
    Answer("aAD703E8");
    Answer("aAD703E8");
    Answer("aKD707D0");
    ASSERT_EQ(positions.count(), 3);
    EXPECT_FALSE(positions.at(1).at(1).toBool()) << "unchanged";
    EXPECT_TRUE(positions.at(2).at(1).toBool());
    EXPECT_FLOAT_EQ(positions.at(2).at(0).toFloat(), 2.0F);
    Answer("aB0001F4");
    Answer("aB0001F4");
    EXPECT_EQ(targets.count(), 1);
}

TEST_F(DecoderTest, ControlByteReplacesExactlyItsBits) {
    link.StatusWord.SetBit(LinkBit::CrcError);
    Answer("aAD70000");
    const auto low = link.StatusWord.Map() & 0xFF;
    Answer("aB4101F4");
    EXPECT_EQ((link.StatusWord.Map() >> 8) & 0xFF, 0x41);
    EXPECT_EQ(link.StatusWord.Map() & 0xFF, low);
    EXPECT_FLOAT_EQ(decoder.Target(), 0.5F);
    // The same byte again leaves the bits alone, even if someone changed them.
    link.StatusWord.SetBit(9);
    Answer("aI4101F4");
    EXPECT_TRUE(link.StatusWord.TestBit(9));
    Answer("aB0001F4");
    EXPECT_EQ((link.StatusWord.Map() >> 8) & 0xFF, 0);
}

TEST_F(DecoderTest, VelocityScaleFollowsTheVelocityMode) {
    QSignalSpy spy(&decoder, &cResponseDecoder::velocityShown);
    sensor.setVelocityValue(1);
    EXPECT_EQ(Answer("aC0504D2"), (DecodedAnswer{.group = AnswerGroup::VelocityMode, .mode = 5}));
    EXPECT_FLOAT_EQ(decoder.Velocity(), 12.34F);
    EXPECT_EQ(Answer("aC030000").value().mode, 3);
    EXPECT_FLOAT_EQ(decoder.Velocity(), 0.0F) << "0 is a velocity: the cylinder stopped";
    sensor.setVelocityValue(2);
    Answer("aC0004D2");
    EXPECT_FLOAT_EQ(decoder.Velocity(), 123.4F);
    Answer("aC0004D2");
    EXPECT_EQ(spy.count(), 4) << "every C answer is shown, changed or not";
    EXPECT_EQ(Answer("aG0X0000").value().mode, 0) << "not a digit";
}

TEST_F(DecoderTest, ParameterSetpointAndIdentityAnswers) {
    EXPECT_EQ(Answer("aD00FFFE"), (DecodedAnswer{AnswerGroup::Parameter, 0xFFFE}));
    EXPECT_EQ(Answer("aQ03FFFF"), (DecodedAnswer{AnswerGroup::Setpoint, 65535, 3}));
    // "aD" and two data characters: the value field holds the CRC digits.
    const QByteArray shortFrame = FrameResponse("aD12");
    EXPECT_EQ(decoder.Decode(shortFrame.mid(1, shortFrame.size() - 2)).value().value,
              HexToLong(shortFrame.mid(5, 4), false));
    // More identity answers than the record holds are not stored past its end.
    for (int i = 0; i < 30; ++i) {
        Answer("aF123456");
    }
    EXPECT_EQ(decoder.IdentityFillCount(), cResponseDecoder::IdentityItems);
}
