// Every builder's request as it reaches the simulator's wire.
#include "link/Commands.h"
#include "link/Framing.h"
#include "model/SensorData.h"
#include "support/SimLine.h"
#include "support/SimTraffic.h"

#include <gtest/gtest.h>

using namespace kelvar;
using Outcome = cCommands::Outcome;

namespace {

class CommandsTest : public ::testing::Test, public test::SimLine {
protected:
    CommandsTest() {
        sim::SensorConfig config = test::SensorAt(1);
        config.serialNumber = "56001234";
        simSensor = &network.addSensor(config);
        InitParameterTable(sensor);
        link.Decoder().setSensor(&sensor);
    }

    // The command texts of the last `count` requests on the wire.
    QList<QByteArray> LastRequests(qsizetype count = 1) const {
        return test::CommandTexts(network).last(count);
    }
    QByteArray LastRequest() const { return LastRequests().value(0); }

    clsSensorData sensor;
    cCommands commands{link, sensor};
    sim::SimSensor* simSensor = nullptr;
};

} // namespace

// Every read request of a whole read, and the values it stores, are the
// session's and the bad-line read's tests.
TEST_F(CommandsTest, ASetpointReadOfAnUnknownFieldReadsTheTarget) {
    commands.ReadSetpoint(10, 7);
    EXPECT_EQ(LastRequest(), "R000A");
}

TEST_F(CommandsTest, UnansweredReadGivesZeroAndIsListedAsFailed) {
    commands.ReadParameter(2); // answered: its value must not stand in for the next one's
    link.CurrentAddress = 2;
    link.PacketTimeout = 30;
    const auto result = commands.ReadParameter(2);
    EXPECT_EQ(result.outcome, Outcome::NoAnswer);
    EXPECT_EQ(result.value, 0);
    commands.ReadSetpoint(4, 2);
    using F = cCommands::Failure;
    EXPECT_EQ(commands.TakeFailedRequests(),
              QList<F>({F{"D0002", Outcome::NoAnswer}, F{"R2004", Outcome::NoAnswer}}));
    EXPECT_TRUE(commands.TakeFailedRequests().isEmpty());
}

TEST_F(CommandsTest, WritesNeedMode5AndEchoWhatTheSensorHolds) {
    const auto refused = commands.WriteParameter(2, 0x123);
    EXPECT_EQ(LastRequest(), "L0020123");
    EXPECT_EQ(refused.sent, 0x123);
    EXPECT_EQ(refused.value, 500) << "outside mode 5 the sensor keeps its value";

    EXPECT_TRUE(commands.EnsureMode5());

    // Zero adjust travels in the sensor's own form.
    for (const auto& [value, request] :
         {std::pair{0x123, "L0210123"}, {0, "L0210000"}, {-1, "L021FFFE"}}) {
        const auto written = commands.WriteParameter(33, value);
        EXPECT_EQ(LastRequest(), request);
        EXPECT_EQ(written.value, written.sent) << request;
    }
    EXPECT_EQ(DecodeZeroAdjust(commands.ReadParameter(33).value), -1);
    // Past the sensor's signed range the value comes back with the other
    // sign: the echo, decoded as a read decodes it, shows the write failed.
    const auto tooBig = commands.WriteParameter(33, 32800);
    EXPECT_EQ(LastRequest(), "L0218020");
    EXPECT_EQ(tooBig.value, 32800 - 65535);
    EXPECT_NE(tooBig.value, tooBig.sent);
}

TEST(ZeroAdjust, SensorsOwnForm) {
    EXPECT_EQ(DecodeZeroAdjust(65535), 0);
    EXPECT_EQ(DecodeZeroAdjust(32768), -32767);
    EXPECT_EQ(DecodeZeroAdjust(32767), 32767);
}

TEST_F(CommandsTest, TargetsAreRoundedHalfToEvenAndNeverNegative) {
    // A resolution that is a power of two makes the halves exact.
    sensor.setResolution(0.015625F);
    commands.SetTarget(-3.2);
    EXPECT_EQ(LastRequest(), "I0000");
    commands.SetTarget(2.5 * 0.015625);
    EXPECT_EQ(LastRequest(), "I0002");
    commands.SetTarget(3.5 * 0.015625);
    EXPECT_EQ(LastRequest(), "I0004");
}

TEST_F(CommandsTest, ValuesWiderThanTheirFieldAreRefused) {
    EXPECT_EQ(commands.ReadParameter(0x10000).outcome, Outcome::NotSent);
    EXPECT_EQ(commands.WriteSetpoint(256, 0, 5).outcome, Outcome::NotSent);
    EXPECT_EQ(commands.WriteSetpoint(3, 0, 65536).outcome, Outcome::NotSent);
    EXPECT_EQ(commands.WriteSetpoint(3, 0, -1).outcome, Outcome::NotSent);
    sensor.setResolution(0.001F);
    EXPECT_EQ(commands.SetTarget(65.536), Outcome::NotSent);
    EXPECT_EQ(commands.SetTarget(1e300), Outcome::NotSent);
    EXPECT_EQ(commands.SendSetpointValue(70000), Outcome::NotSent);
    EXPECT_EQ(network.requestCount(), 0) << "nothing was sent";
    EXPECT_GE(link.TxErrors()[0], 1) << "counted as a transmit error";
    EXPECT_EQ(commands.SetTarget(65.535), Outcome::Answered);
}

TEST_F(CommandsTest, SerialNumberAndIdentityRecord) {
    EXPECT_EQ(commands.ReadSerialNumber(), "56001234");
    EXPECT_EQ(LastRequests(2), QList<QByteArray>({"F0020", "F0026"}));
    EXPECT_EQ(link.Decoder().IdentityFillCount(), 0);

    QList<int> progress;
    const QString record = commands.ReadIdentityRecord([&](int i) { progress.append(i); });
    EXPECT_EQ(record, QString::fromLatin1(simSensor->identityRecord()));
    EXPECT_EQ(LastRequest(), "F0030");
    EXPECT_EQ(progress, QList<int>({0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CommandsTest, OpenPortSelectsItsOptions) {
    link.PortNames.setDevice(3, QStringLiteral("sim"));
    ASSERT_TRUE(link.OpenPort(3, 2));
    EXPECT_EQ(port.baud(), 38400);

    ASSERT_TRUE(link.OpenPort(3, 7));
    EXPECT_EQ(port.baud(), 115200);
    EXPECT_EQ(link.BaudIndex, 0);
    link.BaudIndex = 9;
    EXPECT_EQ(link.PortDescription(), "Comm 3 @ 115.2K");
    EXPECT_EQ(link.BaudIndex, 0);
}
