#include "sim/SimNetwork.h"
#include "sim/SimWire.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

SensorConfig Sensor(int address, qint32 baud) {
    SensorConfig config;
    config.address = address;
    config.baud = baud;
    return config;
}

// Frame text (between SOH and ETX) of a reply.
QByteArray FrameOf(const SimReply& reply) {
    const qsizetype soh = reply.bytes.indexOf(wire::Soh);
    return reply.bytes.mid(soh + 1, reply.bytes.size() - soh - 2);
}

class SimNetworkTest : public ::testing::Test {
protected:
    SimNetworkTest() {
        network.addSensor(Sensor(1, 115200));
        network.addSensor(Sensor(2, 57600));
        network.addSensor(Sensor(1, 57600));
    }

    // The request text begins with the address letter.
    std::vector<SimReply> Send(QByteArrayView request, qint32 baud = 115200) {
        return network.receive(wire::Frame(wire::Stx, request), baud, 0);
    }

    SimNetwork network;
};

} // namespace

TEST_F(SimNetworkTest, SensorAnswersOnlyAtItsAddressAndSpeed) {
    // Both sensors at address 1 tell their speed through parameter 56.
    auto replies = Send("aD0038");
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(FrameOf(replies[0]).chopped(wire::CrcDigits), "aD000004");
    EXPECT_EQ(replies[0].delayMs, 0);
    EXPECT_FALSE(replies[0].lineError);
    replies = Send("aD0038", 57600);
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(FrameOf(replies[0]).chopped(wire::CrcDigits), "aD000003");

    EXPECT_EQ(Send("bA", 57600).size(), 1U);
    EXPECT_TRUE(Send("bA").empty()) << "sensor 2 does not listen at 115200";
    EXPECT_TRUE(Send("cA").empty());
    EXPECT_TRUE(Send("aA", 9600).empty());
    EXPECT_TRUE(network.log().back().outcome.contains("no sensor at this address and speed"));
}

TEST_F(SimNetworkTest, RequestsSplitOrMergedAreAssembled) {
    const QByteArray first = wire::Frame(wire::Stx, "aA");
    for (qsizetype i = 0; i + 1 < first.size(); ++i) {
        EXPECT_TRUE(network.receive(first.mid(i, 1), 115200, 0).empty());
    }
    EXPECT_EQ(network.receive(first.right(1), 115200, 0).size(), 1U);

    // Noise before a packet, two packets in one write, and a packet that a
    // new STX cuts short.
    const QByteArray merged = "xy" + wire::Frame(wire::Stx, "aB") +
                              wire::Frame(wire::Stx, "aD000C").left(4) +
                              wire::Frame(wire::Stx, "aC");
    const auto replies = network.receive(merged, 115200, 0);
    ASSERT_EQ(replies.size(), 2U);
    EXPECT_EQ(FrameOf(replies[0]).mid(1, 1), "B");
    EXPECT_EQ(FrameOf(replies[1]).mid(1, 1), "C");
}

TEST_F(SimNetworkTest, PacketBegunAtAnotherSpeedIsLost) {
    const QByteArray packet = wire::Frame(wire::Stx, "aA");
    network.receive(packet.left(3), 57600, 0);
    EXPECT_TRUE(network.receive(packet.mid(3), 115200, 0).empty());
}

TEST_F(SimNetworkTest, BadPacketsGetNoAnswerAndALogLine) {
    QByteArray badCrc = wire::Frame(wire::Stx, "aA");
    badCrc[4] = badCrc[4] == '0' ? '1' : '0';
    const std::pair<QByteArray, const char*> cases[] = {
        {badCrc, "bad CRC"},
        {wire::Frame(wire::Stx, "#A"), "unaddressed"},
        {QByteArray("\x02"
                    "a12"
                    "\x03"),
         "too short"},
        {QByteArray(1, wire::Stx) + QByteArray(40, 'a') + wire::Etx, "too long"},
        {wire::Frame(wire::Stx, "aZ"), "command not taken"},
    };
    for (const auto& [packet, reason] : cases) {
        EXPECT_TRUE(network.receive(packet, 115200, 0).empty()) << reason;
        EXPECT_TRUE(network.log().back().outcome.contains(QLatin1String(reason)))
            << network.log().back().outcome.toStdString();
    }
    // Lower-case CRC digits carry the same number.
    EXPECT_EQ(network.receive("\2aA0e9e\3", 115200, 0).size(), 1U);
}

TEST_F(SimNetworkTest, LogRecordsEveryRequest) {
    Send("aA");
    Send("bA");
    ASSERT_EQ(network.requestCount(), 2);
    ASSERT_EQ(network.log().size(), 2U);
    const QString answered = network.log().front().text();
    EXPECT_TRUE(answered.contains("aA0E9E @115200 answered -> aAD7000099C4"))
        << answered.toStdString();
    EXPECT_TRUE(network.log().back().text().contains("no answer")) << "sensor 2 is at 57600";
    EXPECT_EQ(network.takeLog().size(), 2U);
    EXPECT_TRUE(network.log().empty());
    EXPECT_EQ(network.requestCount(), 2);
}

TEST_F(SimNetworkTest, SensorsSharingAnAddressAfterAPowerCycleCollide) {
    SimSensor& second = network.sensor(1);
    second.setParameter(Param::Address, 1);
    second.setParameter(Param::BaudRate, 4); // 115200
    second.PowerCycle();
    EXPECT_TRUE(Send("aA").empty());
    EXPECT_TRUE(network.log().back().outcome.contains("share"));
}

TEST(SimNetworkSetup, SameAddressAndSpeedTwiceOrABadConfigurationIsRefused) {
    SimNetwork network;
    network.addSensor(Sensor(3, 38400));
    EXPECT_THROW(network.addSensor(Sensor(3, 38400)), std::invalid_argument);
    EXPECT_THROW(network.addSensor(Sensor(30, 38400)), std::invalid_argument);
    EXPECT_EQ(network.sensorCount(), 1);
}

TEST_F(SimNetworkTest, EachFaultDoesWhatItsNameSays) {
    const QByteArray good = Send("aA")[0].bytes;

    network.faults() = {.drop = 1};
    EXPECT_TRUE(Send("aA").empty());
    EXPECT_TRUE(network.log().back().outcome.contains("dropped"));

    network.faults() = {.corrupt = 1};
    auto replies = Send("aA");
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(replies[0].bytes.size(), good.size());
    EXPECT_EQ(replies[0].bytes.chopped(5), good.chopped(5)) << "only the CRC digits differ";
    EXPECT_FALSE(wire::CrcMatches(wire::Soh, FrameOf(replies[0])));

    network.faults() = {.junk = 1};
    replies = Send("aA");
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_TRUE(replies[0].bytes.endsWith(good));
    const QByteArray junk = replies[0].bytes.chopped(good.size());
    EXPECT_FALSE(junk.isEmpty());
    for (const char c : junk) {
        EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "no control character in the junk";
    }

    network.faults() = {.late = 1, .lateMs = 120};
    network.setReplyDelayMs(7);
    replies = Send("aA");
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(replies[0].delayMs, 120);
    EXPECT_EQ(replies[0].bytes, good);

    network.faults() = {};
    EXPECT_EQ(Send("aA")[0].delayMs, 7);

    network.faults() = {.lineError = 1};
    replies = Send("aA");
    ASSERT_EQ(replies.size(), 2U);
    ASSERT_TRUE(replies[0].lineError);
    EXPECT_TRUE(*replies[0].lineError == PortEvent::ParityError ||
                *replies[0].lineError == PortEvent::FramingError);
    ASSERT_EQ(replies[0].bytes.size(), 1);
    EXPECT_TRUE(replies[0].bytes[0] & 0x80) << "noise, not a frame character";
    EXPECT_EQ(replies[1].bytes, good);
}

TEST_F(SimNetworkTest, SeededFaultsRepeat) {
    const SimFaults faults{.drop = 0.3, .corrupt = 0.3, .junk = 0.3, .late = 0.3, .lineError = 0.3};
    const auto run = [&](std::uint32_t seed) {
        SimNetwork other(seed);
        other.addSensor(Sensor(1, 115200));
        other.faults() = faults;
        QList<QByteArray> seen;
        for (int i = 0; i < 100; ++i) {
            for (const SimReply& reply : other.receive(wire::Frame(wire::Stx, "aA"), 115200, i)) {
                seen << reply.bytes + QByteArray::number(reply.delayMs) +
                            QByteArray::number(reply.lineError ? int(*reply.lineError) : -1);
            }
        }
        return seen;
    };
    const auto first = run(42);
    EXPECT_EQ(run(42), first);
    EXPECT_NE(run(43), first);
    const auto answers = std::count_if(first.begin(), first.end(),
                                       [](const QByteArray& seen) { return seen.endsWith("-1"); });
    EXPECT_GT(answers, 50) << "most answers get through";
    EXPECT_LT(answers, 100) << "some are dropped";
}
