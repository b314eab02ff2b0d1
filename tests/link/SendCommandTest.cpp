// Transactions against the in-process simulated network.
#include "link/Framing.h"
#include "support/SimLine.h"
#include "support/SimTraffic.h"
#include "support/WhileWaiting.h"

#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

using namespace kelvar;
using Outcome = cSensorLink::Outcome;

namespace {

class SendCommandTest : public ::testing::Test, public test::SimLine {
protected:
    SendCommandTest() {
        network.addSensor(test::SensorAt(1));
        network.addSensor(test::SensorAt(3));
    }

    // Runs `action` from the event loop once the transaction is waiting.
    void DuringWait(std::function<void()> action) { test::WhileWaiting(link, std::move(action)); }

    // Sends while `bytes` arrive on the line.
    cSensorLink::Reply SendWhileArriving(const char* command, int address,
                                         const QByteArray& bytes) {
        DuringWait([this, bytes] { link.ReceiveChars(bytes); });
        return link.SendCommand(command, address);
    }
};

} // namespace

TEST_F(SendCommandTest, AnswerEndsTheWaitAndATimeOutIsFlaggedUntilTheNextAnswer) {
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::Answered);
    EXPECT_TRUE(link.ReplyValid());
    EXPECT_EQ(link.LastAnswer().left(2), "aA");

    link.PacketTimeout = 30;
    EXPECT_EQ(link.SendCommand("D000C", 2).outcome, Outcome::NoAnswer);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_GE(link.PacketMs(), 30.0);
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, AddressZeroMeansCurrentAndOutOfRangeOrClosedSendsNothing) {
    link.CurrentAddress = 3;
    EXPECT_EQ(link.SendCommand("A", 0).outcome, Outcome::Answered);
    EXPECT_EQ(link.TxText().at(0), 'c');
    const auto word = link.StatusWord.Map();
    EXPECT_EQ(link.SendCommand("A", 27).outcome, Outcome::NotSent);
    link.CurrentAddress = 27;
    EXPECT_EQ(link.SendCommand("A", 0).outcome, Outcome::NotSent);
    EXPECT_EQ(link.TxText().at(0), 'c');
    EXPECT_EQ(link.StatusWord.Map(), word);

    link.ClosePort();
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::PortFailed);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_EQ(network.requestCount(), 1);
}

TEST_F(SendCommandTest, AnswerThatLandsBeforeTheDeadlineCheckCounts) {
    // The answer comes 5 ms after the deadline, but the window was busy for
    // 50 ms, so when the wait looks again both have happened.
    link.PacketTimeout = 25;
    network.setReplyDelayMs(30);
    DuringWait([] { QThread::msleep(50); });
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, StrayEtxEndsTheWaitWithoutAnAnswer) {
    network.setReplyDelayMs(200);
    link.PacketTimeout = 100;
    EXPECT_EQ(SendWhileArriving("A", 1, QByteArray(1, ETX)).outcome, Outcome::BadAnswer);
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::NoAnswer));
}

TEST_F(SendCommandTest, OnlyTheRequestsOwnAnswerEndsTheWait) {
    // Address 2 is silent: what comes is injected. Another letter, or a
    // setpoint answer echoing another index, belongs to an earlier request.
    link.PacketTimeout = 60;
    EXPECT_EQ(SendWhileArriving("A", 2, FrameResponse("bE") + FrameResponse("bD000064")).outcome,
              Outcome::NoAnswer);
    EXPECT_EQ(link.DiscardedAnswers(), 2);
    EXPECT_FALSE(link.ReplyValid()) << "a discarded answer is not decoded";
    EXPECT_EQ(SendWhileArriving("R000B", 2, FrameResponse("bR0A0064")).outcome, Outcome::NoAnswer);
    EXPECT_EQ(link.DiscardedAnswers(), 3);
    EXPECT_EQ(
        SendWhileArriving("R000B", 2, FrameResponse("bR0B0064")),
        (cSensorLink::Reply{Outcome::Answered, DecodedAnswer{AnswerGroup::Setpoint, 100, 11}}));
    // A command the program does not send itself takes any answer.
    EXPECT_EQ(SendWhileArriving("E", 2, FrameResponse("bE")).outcome, Outcome::Answered);

    // Another sensor's answer while the right one is on its way.
    network.setReplyDelayMs(20);
    link.PacketTimeout = 100;
    EXPECT_EQ(SendWhileArriving("A", 1, FrameResponse("cA00C0FF")).outcome, Outcome::Answered);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::RxError2));
    EXPECT_EQ(link.LastAnswer().left(2), "aA");
    EXPECT_GE(link.RxErrors()[2], 1);
}

TEST_F(SendCommandTest, LateAnswerIsDiscardedAndNeverTakenForTheNextOne) {
    // The sensor answers 15 ms after the time-out: the answer to D000C must
    // not become the value of D000D.
    network.sensor(0).setParameter(12, 0x0111);
    network.sensor(0).setParameter(13, 0x0222);
    link.PacketTimeout = 25;
    network.faults().late = 1.0;
    network.faults().lateMs = 40;
    EXPECT_EQ(link.SendCommand("D000C", 1).outcome, Outcome::NoAnswer);
    network.faults().late = 0.0;
    EXPECT_EQ(link.SendCommand("D000D", 1), test::ParameterAnswer(0x0222));
    EXPECT_EQ(link.DiscardedAnswers(), 1);
    EXPECT_EQ(link.RxErrors()[1], 0) << "a late answer is not a CRC error";
    EXPECT_EQ(test::CommandTexts(network).last(), "D000D");
}

TEST_F(SendCommandTest, FrameAfterTheWaitIsDiscarded) {
    // A corrupt answer ends the wait; a good frame right behind it belongs
    // to no request and changes nothing.
    link.PacketTimeout = 100;
    QByteArray corrupt = FrameResponse("bA00C0FF");
    corrupt[4] = '1';
    EXPECT_EQ(SendWhileArriving("A", 2, corrupt + FrameResponse("bA0003E8")).outcome,
              Outcome::BadAnswer);
    EXPECT_FALSE(link.ReplyValid());
    EXPECT_EQ(link.LastAnswer(), corrupt.mid(1, corrupt.size() - 2));
    EXPECT_EQ(link.Decoder().PositionCounts(), 0);
    EXPECT_EQ(link.DiscardedAnswers(), 1);
}

TEST_F(SendCommandTest, CrcAndLineErrorsAreCountedOnceAndResetClearsTheCounters) {
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    network.faults().corrupt = 1.0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::BadAnswer);
        EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::CrcError));
    }
    EXPECT_EQ(link.RxErrors()[1], 1);
    EXPECT_EQ(link.RxErrors()[0], 1);
    network.faults().corrupt = 0.0;
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::Answered);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::CrcError));

    network.faults().lineError = 1.0;
    link.SendCommand("A", 1);
    EXPECT_EQ(link.RxErrors()[4] + link.TxErrors()[4], 1);
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::RxLineError));
    EXPECT_FALSE(link.StatusWord.TestBit(LinkBit::TxLineError));
    EXPECT_FALSE(link.StateFlags.TestBit(StateBit::LinkHealthy));
    network.faults().lineError = 0.0;

    link.SendCommand("A", 2); // unanswered
    EXPECT_GT(link.TxErrors()[0], 0);
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    EXPECT_TRUE(link.CheckErrorCount());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(link.RxErrors()[i], 0);
        EXPECT_EQ(link.TxErrors()[i], 0);
    }
    EXPECT_EQ(link.StatusWord.Map() & LinkBit::FlagMask, 0);
}

TEST_F(SendCommandTest, UnsendableCommandIsRefused) {
    EXPECT_EQ(link.SendCommand(QByteArray("A\0B", 3), 1).outcome, Outcome::NotSent);
    EXPECT_EQ(link.TxErrors()[1], 1) << "counted as a transmit error";
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::TxErrorCounted));
    EXPECT_EQ(link.SendCommand(QByteArray("A\x03", 2), 1).outcome, Outcome::NotSent);
    EXPECT_EQ(link.SendCommand("A\xC3", 1).outcome, Outcome::NotSent);
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(SendCommandTest, OnlyOneTransactionAtATime) {
    network.setReplyDelayMs(10);
    link.PacketTimeout = 100;
    Outcome nested = Outcome::Answered;
    DuringWait([&] { nested = link.SendCommand("B", 1).outcome; });
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::Answered);
    EXPECT_EQ(nested, Outcome::Busy);
}

TEST_F(SendCommandTest, PulledAdapterEndsTheWaitAndIsReportedOnce) {
    QSignalSpy lost(&link, &cSensorLink::portLost);
    network.setReplyDelayMs(50);
    link.PacketTimeout = 100;
    DuringWait([this] { port.SimulateRemoval(); });
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::PortFailed);
    EXPECT_TRUE(link.StatusWord.TestBit(LinkBit::NoAnswer));
    EXPECT_FALSE(link.StateFlags.TestBit(StateBit::PortOpen));
    EXPECT_EQ(link.SendCommand("A", 1).outcome, Outcome::PortFailed);
    QCoreApplication::processEvents();
    EXPECT_EQ(lost.count(), 1);
    EXPECT_TRUE(link.PortErrorText().contains("disconnected"));
    EXPECT_FALSE(link.OpenPort(1, 0));
}

TEST_F(SendCommandTest, SelectorPositionOutsideTheRangeMeansTheFirst) {
    link.SelectInterval(15); // the last; a timeout's position: StartupTest
    EXPECT_EQ(link.PacketInterval, 75);
    for (int bad : {-1, 16}) {
        link.SelectTimeout(bad);
        link.SelectInterval(bad);
        EXPECT_EQ(link.PacketTimeout, 25) << bad;
        EXPECT_EQ(link.PacketInterval, 0) << bad;
    }
}
