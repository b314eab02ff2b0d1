// Transactions against the in-process simulated network.
#include "link/Framing.h"
#include "link/SensorLink.h"
#include "sim/SimNetwork.h"
#include "sim/SimSerialPort.h"
#include "support/SimTraffic.h"
#include "support/WhileWaiting.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

class SendCommandTest : public ::testing::Test {
protected:
    SendCommandTest() : port(network, {QStringLiteral("sim")}), link(port) {
        network.addSensor(test::SensorAt(1));
        network.addSensor(test::SensorAt(3));
        link.PortNames.setDevice(1, QStringLiteral("sim"));
        EXPECT_TRUE(link.OpenPort(1, 0));
        link.CurrentAddress = 1;
    }

    // Runs `action` from the event loop once the transaction is waiting.
    void DuringWait(std::function<void()> action) { test::WhileWaiting(link, std::move(action)); }

    SimNetwork network;
    SimSerialPort port;
    cSensorLink link;
};

} // namespace

TEST_F(SendCommandTest, ValidAnswerEndsTheWait) {
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_TRUE(link.ReplyValid());
    EXPECT_FALSE(link.AwaitingReply());
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_EQ(link.TxText(), "aA0E9E");
    ASSERT_GE(link.LastAnswer().size(), 7);
    EXPECT_EQ(link.LastAnswer().left(2), "aA");
}

TEST_F(SendCommandTest, AddressZeroMeansCurrentAndOutOfRangeSendsNothing) {
    link.CurrentAddress = 3;
    EXPECT_EQ(link.SendCommand("A", 0), cSensorLink::Outcome::Answered);
    EXPECT_EQ(link.TxText().at(0), 'c');

    const auto requests = network.requestCount();
    const double packetMs = link.PacketMs();
    const auto word = link.StatusWord.Map();
    EXPECT_EQ(link.SendCommand("A", 27), cSensorLink::Outcome::NotSent);
    link.CurrentAddress = 27;
    EXPECT_EQ(link.SendCommand("A", 0), cSensorLink::Outcome::NotSent);
    EXPECT_EQ(network.requestCount(), requests);
    EXPECT_EQ(link.TxText().at(0), 'c');
    EXPECT_EQ(link.PacketMs(), packetMs);
    EXPECT_EQ(link.StatusWord.Map(), word);
}

TEST_F(SendCommandTest, ClosedPortAnswersNothingAtOnce) {
    link.ClosePort();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::PortFailed);
        EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
        EXPECT_FALSE(link.AwaitingReply());
    }
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(SendCommandTest, SilentAddressTimesOut) {
    link.PacketTimeout = 30;
    EXPECT_EQ(link.SendCommand("D000C", 2), cSensorLink::Outcome::NoAnswer);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_FALSE(link.AwaitingReply());
    EXPECT_GE(link.PacketMs(), 30.0);
    // The next answered request clears the flag.
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, SensorAnswersOnlyAtItsSpeed) {
    ASSERT_TRUE(link.OpenPort(1, 1));
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::NoAnswer);
    network.addSensor(test::SensorAt(5, 57600));
    EXPECT_EQ(link.SendCommand("A", 5), cSensorLink::Outcome::Answered);
}

TEST_F(SendCommandTest, AnswerThatLandsBeforeTheDeadlineCheckCounts) {
    // The answer comes 5 ms after the deadline, but the window was busy for
    // 50 ms, so when the wait looks again both have happened.
    link.PacketTimeout = 25;
    network.setReplyDelayMs(30);
    DuringWait([] { QThread::msleep(50); });
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, StrayEtxEndsTheWaitWithoutAnAnswer) {
    network.setReplyDelayMs(200);
    link.PacketTimeout = 100;
    DuringWait([this] { link.ReceiveChars(QByteArray(1, ETX)); });
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::BadAnswer);
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, AnotherSensorsAnswerIsNotTheAnswer) {
    network.setReplyDelayMs(20);
    link.PacketTimeout = 100;
    DuringWait([this] { link.ReceiveChars(FrameResponse("cA00C0FF")); });
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::RxError2));
    EXPECT_EQ(link.LastAnswer().left(2), "aA");
    EXPECT_GE(link.RxErrors()[2], 1);
}

TEST_F(SendCommandTest, OnlyTheRequestsOwnAnswerEndsTheWait) {
    // Address 2 is silent: what comes is injected. Another letter, or a
    // setpoint answer echoing another index, belongs to an earlier request.
    link.PacketTimeout = 60;
    DuringWait([this] { link.ReceiveChars(FrameResponse("bE") + FrameResponse("bD000064")); });
    EXPECT_EQ(link.SendCommand("A", 2), cSensorLink::Outcome::NoAnswer);
    EXPECT_EQ(link.DiscardedAnswers(), 2);
    EXPECT_EQ(link.Decoder().ParamResult, 0) << "a discarded answer is not decoded";

    DuringWait([this] { link.ReceiveChars(FrameResponse("bR0A0064")); });
    EXPECT_EQ(link.SendCommand("R000B", 2), cSensorLink::Outcome::NoAnswer);
    EXPECT_EQ(link.DiscardedAnswers(), 3);

    DuringWait([this] { link.ReceiveChars(FrameResponse("bR0B0064")); });
    EXPECT_EQ(link.SendCommand("R000B", 2), cSensorLink::Outcome::Answered);
    EXPECT_EQ(link.Decoder().SetpointResult, 100);

    // A command the program does not send itself takes any answer.
    DuringWait([this] { link.ReceiveChars(FrameResponse("bE")); });
    EXPECT_EQ(link.SendCommand("E", 2), cSensorLink::Outcome::Answered);
}

TEST_F(SendCommandTest, LateAnswerIsDiscardedAndNeverTakenForTheNextOne) {
    // The sensor answers 15 ms after the time-out: the answer to D000C must
    // not become the value of D000D.
    SimSensor& sensor = network.sensor(0);
    sensor.setParameter(12, 0x0111);
    sensor.setParameter(13, 0x0222);
    link.PacketTimeout = 25;
    network.faults().late = 1.0;
    network.faults().lateMs = 40;
    EXPECT_EQ(link.SendCommand("D000C", 1), cSensorLink::Outcome::NoAnswer);
    network.faults().late = 0.0;
    EXPECT_EQ(link.SendCommand("D000D", 1), cSensorLink::Outcome::Answered);
    EXPECT_EQ(link.Decoder().ParamResult, 0x0222);
    EXPECT_EQ(link.DiscardedAnswers(), 1);
    EXPECT_EQ(link.RxErrors()[1], 0) << "a late answer is not a CRC error";
    EXPECT_EQ(network.log().back().request.mid(1, 5), "D000D");

    // Without a fault there is no recovery pause.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    }
    EXPECT_LT(clock.elapsed(), 2 * link.PacketTimeout);
}

TEST_F(SendCommandTest, FrameAfterTheWaitIsDiscarded) {
    // A corrupt answer ends the wait; a good frame right behind it belongs
    // to no request and changes nothing.
    link.PacketTimeout = 100;
    QByteArray corrupt = FrameResponse("bA00C0FF");
    corrupt[4] = '1';
    DuringWait([&] { link.ReceiveChars(corrupt + FrameResponse("bA0003E8")); });
    EXPECT_EQ(link.SendCommand("A", 2), cSensorLink::Outcome::BadAnswer);
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_EQ(link.LastAnswer(), corrupt.mid(1, corrupt.size() - 2));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0);
    EXPECT_EQ(link.DiscardedAnswers(), 1);
}

TEST_F(SendCommandTest, JunkBeforeTheAnswerIsIgnored) {
    network.faults().junk = 1.0;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered) << i;
    }
}

TEST_F(SendCommandTest, CrcErrorIsCountedOnceWhileItsFlagStaysSet) {
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    network.faults().corrupt = 1.0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::BadAnswer);
        EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::CrcError));
        EXPECT_FALSE(link.ReplyValid());
    }
    EXPECT_EQ(link.RxErrors()[1], 1);
    EXPECT_EQ(link.RxErrors()[0], 1);
    network.faults().corrupt = 0.0;
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));
}

TEST_F(SendCommandTest, LineErrorsAreCountedAndCleared) {
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    network.faults().lineError = 1.0;
    link.SendCommand("A", 1);
    const auto rx = link.RxErrors()[4];
    const auto tx = link.TxErrors()[4];
    EXPECT_EQ(rx + tx, 1);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::RxLineError));
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::TxLineError));
    EXPECT_FALSE(link.StateFlags.TestBit(StateBit::LinkHealthy));
}

TEST_F(SendCommandTest, UnsendableCommandIsRefused) {
    const auto requests = network.requestCount();
    EXPECT_EQ(link.SendCommand(QByteArray("A\0B", 3), 1), cSensorLink::Outcome::NotSent);
    EXPECT_EQ(link.TxErrors()[1], 1) << "counted as a transmit error";
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::TxErrorCounted));
    EXPECT_EQ(link.SendCommand(QByteArray("A\x03", 2), 1), cSensorLink::Outcome::NotSent);
    EXPECT_EQ(link.SendCommand("A\xC3", 1), cSensorLink::Outcome::NotSent);
    EXPECT_EQ(network.requestCount(), requests);
}

TEST_F(SendCommandTest, OnlyOneTransactionAtATime) {
    network.setReplyDelayMs(10);
    link.PacketTimeout = 100;
    cSensorLink::Outcome nested = cSensorLink::Outcome::Answered;
    DuringWait([&] { nested = link.SendCommand("B", 1); });
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    EXPECT_EQ(nested, cSensorLink::Outcome::Busy);
}

TEST_F(SendCommandTest, PulledAdapterEndsTheWaitAndIsReportedOnce) {
    QSignalSpy lost(&link, &cSensorLink::portLost);
    network.setReplyDelayMs(50);
    link.PacketTimeout = 100;
    DuringWait([this] { port.SimulateRemoval(); });
    EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::PortFailed);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_FALSE(link.StateFlags.TestBit(StateBit::PortOpen));
    EXPECT_FALSE(port.isOpen());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1), cSensorLink::Outcome::PortFailed);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(lost.count(), 1);
    EXPECT_TRUE(link.PortErrorText().contains("disconnected"));
    EXPECT_FALSE(link.OpenPort(1, 0));
}

TEST_F(SendCommandTest, ResetRequestZeroesCounters) {
    link.SendCommand("A", 2); // unanswered
    link.SendCommand("A", 1);
    EXPECT_GT(link.TxErrors()[0], 0);
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    EXPECT_TRUE(link.CheckErrorCount());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(link.RxErrors()[i], 0);
        EXPECT_EQ(link.TxErrors()[i], 0);
    }
    EXPECT_EQ(link.StatusWord.Map() & LinkBit::FlagMask, 0);
}

TEST(LinkSettings, SelectorsAndTheirPositions) {
    SimNetwork network;
    SimSerialPort port(network, {});
    cSensorLink link(port);
    link.SelectTimeout(3);
    EXPECT_EQ(link.PacketTimeout, 40);
    EXPECT_EQ(link.TimeoutPosition(), 3);
    link.SelectInterval(15);
    EXPECT_EQ(link.PacketInterval, 75);
    for (int bad : {-1, 16, 1000}) {
        link.SelectTimeout(bad);
        link.SelectInterval(bad);
        EXPECT_EQ(link.PacketTimeout, 25) << bad;
        EXPECT_EQ(link.PacketInterval, 0) << bad;
    }
}
