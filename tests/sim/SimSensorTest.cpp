#include "sim/SimSensor.h"
#include "sim/SimWire.h"

#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

class SimSensorTest : public ::testing::Test {
protected:
    // The frame text between SOH and ETX, or "none" when the sensor is silent.
    QByteArray Ask(QByteArrayView command, qint64 nowMs = 0) {
        const auto answer = sensor.Respond(command, nowMs);
        if (!answer) {
            return "none";
        }
        EXPECT_EQ(answer->front(), wire::Soh);
        EXPECT_EQ(answer->back(), wire::Etx);
        const QByteArray frame = answer->mid(1, answer->size() - 2);
        EXPECT_TRUE(wire::CrcMatches(wire::Soh, frame)) << frame.toStdString();
        return frame.chopped(wire::CrcDigits);
    }

    SensorConfig config;
    SimSensor sensor{config};
};

} // namespace

TEST_F(SimSensorTest, PollAnswersAreExact) {
    // Zevir, system, null OK, on, motion enabled, in position; position 0.
    EXPECT_EQ(sensor.Respond("A", 0), QByteArray("\x01"
                                                 "aAD7000099C4"
                                                 "\x03"));
    // Control: on, power OK; target 0.
    EXPECT_EQ(Ask("B"), "aB050000");
    EXPECT_EQ(Ask("C"), "aC000000");
}

TEST_F(SimSensorTest, ParametersHoldTheFactoryValuesAndTheConfiguration) {
    EXPECT_EQ(Ask("D0002"), "aD0001F4"); // extend gain 500
    EXPECT_EQ(Ask("D000C"), "aD000001"); // velocity enable 1
    EXPECT_EQ(Ask("D0039"), "aD0007FF"); // null zero 2047
    EXPECT_EQ(Ask("D0023"), "aD005DC0"); // sensor length 24000
    EXPECT_EQ(Ask("D0037"), "aD000001"); // address
    EXPECT_EQ(Ask("D0038"), "aD000004"); // 115200 baud
    EXPECT_EQ(Ask("D0001"), "aD000000"); // not used
    EXPECT_EQ(Ask("D004B"), "aD000000");
    EXPECT_EQ(Ask("D004C"), "none");
}

TEST_F(SimSensorTest, IdentityRecordInSixCharacterPieces) {
    QByteArray joined;
    for (int offset = 0; offset <= 48; offset += 6) {
        const QByteArray answer = Ask(QByteArray("F") + wire::Hex(offset, 4));
        ASSERT_EQ(answer.size(), 8);
        EXPECT_EQ(answer.left(2), "aF");
        joined += answer.mid(2);
    }
    EXPECT_EQ(joined, config.identityRecord());
    EXPECT_EQ(Ask("F0030"), "aF" + config.identityRecord().right(6));
    EXPECT_EQ(Ask("F0032"), "aF" + config.identityRecord().right(4) + "  ")
        << "blanks past the end";
    EXPECT_EQ(Ask("F0036"), "aF      ");
    EXPECT_EQ(Ask("F0020"), "aF" + config.identityRecord().mid(32, 6));
}

TEST_F(SimSensorTest, WritesStoreOnlyInMode5) {
    EXPECT_EQ(Ask("L0020123"), "aL0001F4") << "mode 0: the old value comes back";
    EXPECT_EQ(sensor.parameter(2), 500);
    EXPECT_EQ(Ask("Q2030064"), "aQ03000A");
    EXPECT_EQ(Ask("G0005"), "aG050000");
    EXPECT_EQ(sensor.mode(), 5);
    EXPECT_EQ(Ask("B"), "aB450000") << "write enabled";
    EXPECT_EQ(Ask("L0020123"), "aL000123");
    EXPECT_EQ(Ask("D0002"), "aD000123");
    EXPECT_EQ(Ask("Q2030064"), "aQ030064");
    EXPECT_EQ(Ask("R2003"), "aR030064");
    EXPECT_EQ(sensor.setpoint(3, 2), 0x64);
    EXPECT_EQ(Ask("R103B"), "aR3B0014") << "setpoint 59 keeps its velocity";
}

TEST_F(SimSensorTest, ZeroAdjustIsKeptAsTheSixteenBitField) {
    Ask("G0005");
    EXPECT_EQ(Ask("L021FFFE"), "aL00FFFE");
    EXPECT_EQ(Ask("D0021"), "aD00FFFE");
    EXPECT_EQ(Ask("L0210000"), "aL000000");
}

TEST_F(SimSensorTest, RefusedWritesEchoTheValueHeld) {
    Ask("G0005");
    EXPECT_EQ(Ask("L037001B"), "aL000001") << "address 27";
    EXPECT_EQ(Ask("L0370000"), "aL000001") << "address 0";
    EXPECT_EQ(Ask("L0380005"), "aL000004") << "baud code 5";
    EXPECT_EQ(Ask("L0230010"), "aL005DC0") << "sensor length";
}

TEST_F(SimSensorTest, AddressAndSpeedChangeOnlyAtPowerCycle) {
    Ask("G0005");
    EXPECT_EQ(Ask("L0370005"), "aL000005");
    EXPECT_EQ(Ask("L0380003"), "aL000003");
    EXPECT_EQ(sensor.address(), 1);
    EXPECT_EQ(sensor.baud(), 115200);
    sensor.PowerCycle();
    EXPECT_EQ(sensor.address(), 5);
    EXPECT_EQ(sensor.baud(), 57600);
    EXPECT_EQ(sensor.mode(), 0);
    EXPECT_EQ(Ask("C"), "eC000000");
}

TEST_F(SimSensorTest, MalformedOrUnknownCommandsGetNoAnswer) {
    for (const char* command :
         {"",        "A1",        "BB",       "C0",        "D00C",     "D000c",
          "D0000F",  "F003",      "G000A",    "G0010",     "I12345",   "K12",
          "L021FFF", "L021FFFEE", "L04C0001", "Q20300640", "Q303000A", "Q23C0001",
          "R2003F",  "R3000",     "R003C",    "E",         "Z",        "#A"}) {
        EXPECT_EQ(Ask(command), "none") << command;
    }
}

TEST_F(SimSensorTest, CylinderMovesTowardTheTargetAtTheCommandedVelocity) {
    // 1.00 in/s at 0.001 in per count: one count per ms.
    EXPECT_EQ(Ask("I03E8", 1000), "aI0503E8");
    EXPECT_EQ(Ask("A", 1500), "aAD501F4") << "half way, in motion";
    EXPECT_EQ(Ask("C", 1500), "aC000064");
    EXPECT_EQ(Ask("A", 2000), "aAD703E8") << "arrived, in position";
    EXPECT_EQ(Ask("C", 2000), "aC000000");

    EXPECT_EQ(Ask("K00C8", 2000), "aKD703E8") << "2.00 in/s";
    Ask("I0000", 2000);
    EXPECT_EQ(Ask("A", 2100), "aAD50320");

    // Velocity enable 2: tenths, so the same number is ten times faster.
    sensor.setParameter(Param::VelocityEnable, 2);
    EXPECT_EQ(Ask("A", 2275), "aAD70000");
    EXPECT_EQ(Ask("A", 1000), "aAD70000") << "time going back moves nothing";
}

TEST_F(SimSensorTest, CylinderStopsAtTheEndOfItsStroke) {
    sensor.setParameter(Param::VelocityEnable, 2); // 100 in/s
    Ask("K03E8", 0);
    Ask("IFFFF", 0);
    EXPECT_EQ(Ask("A", 1000), "aAD55DC0") << "held at 24000, never in position";
    EXPECT_EQ(Ask("C", 1000), "aC000000");
}

TEST_F(SimSensorTest, StatusShowsNegativePositionAndOvertravel) {
    Ask("G0005");
    Ask("K0000");
    // -100 in the tool's encoding: the reading moves, the stopped cylinder does not.
    Ask("L021FF9B");
    EXPECT_EQ(Ask("A"), "aAF50064") << "negative, not in position";

    SimSensor limited(config);
    limited.setParameter(Param::MaximumTravel, 2000);
    EXPECT_EQ(limited.Respond("A", 0)->mid(3, 2), "DF") << "below the minimum travel of 50";
    limited.Respond("I0064", 0);
    EXPECT_EQ(limited.Respond("A", 1000)->mid(3, 2), "D7");
}
