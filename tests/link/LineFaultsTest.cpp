// What real lines do: echoes, repeats, losses, and the retries that mend them.
#include "link/Framing.h"
#include "support/SimLine.h"
#include "support/SimTraffic.h"

#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

using namespace kelvar;
using Outcome = cSensorLink::Outcome;

namespace {

class LineFaultsTest : public ::testing::Test, public test::SimLine {
protected:
    LineFaultsTest() {
        network.addSensor(test::SensorAt(1));
        network.sensor(0).setParameter(12, 0x0111);
        network.sensor(0).setParameter(13, 0x0222);
    }

    // Runs `seen` with the outcome and retry number of each transaction as it ends.
    void OnEnded(std::function<void(Outcome outcome, int retry)> seen) {
        QObject::connect(&link, &cSensorLink::transactionEnded,
                         [seen = std::move(seen)](const QByteArray&, const QByteArray&,
                                                  Outcome outcome,
                                                  int retry) { seen(outcome, retry); });
    }
};

} // namespace

TEST_F(LineFaultsTest, AnEchoingLineReadsExactlyAndEveryRequestIsCounted) {
    QSignalSpy echoes(&link, &cSensorLink::echoSkipped);
    network.faults().echo = true;
    EXPECT_EQ(link.SendCommand("D000C", 1), test::ParameterAnswer(0x0111));
    EXPECT_EQ(link.SendCommand("D000D", 1), test::ParameterAnswer(0x0222));
    ASSERT_EQ(echoes.count(), 2);
    EXPECT_EQ(echoes.at(1).at(0).toByteArray(), link.TxText());

    // Another sensor's echo is noise, not an answer and not an error.
    EXPECT_EQ(link.SendCommand("A", 2).outcome, Outcome::NoAnswer);
    const cLinkStatistics& one = link.Statistics(1);
    EXPECT_EQ(one.requests, 2);
    EXPECT_EQ(one.answers, 2);
    EXPECT_EQ(one.echoesSkipped, 2);
    EXPECT_EQ(one.crcErrors + one.unknownAnswers + one.timeOuts, 0);
    EXPECT_EQ(link.Statistics(2).timeOuts, 1);
    EXPECT_EQ(link.Statistics(2).echoesSkipped, 1);
}

TEST_F(LineFaultsTest, LostAndDamagedAnswersAreAskedAgainAndCounted) {
    link.Retries = cSensorLink::MaxRetries;
    int retried = 0;
    OnEnded([&retried](Outcome, int retry) { retried += retry > 0 ? 1 : 0; });
    network.setSeed(7);
    network.faults().drop = 0.4;
    network.faults().corrupt = 0.3;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(link.SendCommand("D000C", 1), test::ParameterAnswer(0x0111)) << "request " << i;
    }
    const cLinkStatistics& st = link.Statistics(1);
    EXPECT_EQ(st.requests, network.requestCount());
    EXPECT_EQ(st.answers, 20);
    EXPECT_GT(st.timeOuts, 0);
    EXPECT_GT(st.crcErrors, 0);
    EXPECT_EQ(st.timeOuts + st.crcErrors, st.retries);
    EXPECT_EQ(retried, st.retries);

    // Nothing answers: the request is asked as often as set, then given up.
    network.faults() = {};
    QList<int> retries;
    OnEnded([&retries](Outcome, int retry) { retries.append(retry); });
    link.Retries = 2;
    EXPECT_EQ(link.SendCommand("D000C", 2).outcome, Outcome::NoAnswer);
    EXPECT_EQ(retries, QList<int>({0, 1, 2}));
    link.Retries = 0;
    retries.clear();
    EXPECT_EQ(link.SendCommand("D000C", 2).outcome, Outcome::NoAnswer);
    EXPECT_EQ(retries, QList<int>({0}));
}

TEST_F(LineFaultsTest, AFrameThatFollowsAnAcceptedAnswerPutsItsRunInDoubt) {
    // The sensor answers 3 ms after the request; a repeater sends each
    // answer again 1 ms later, so that the copy arrives while the next
    // request of the same kind waits and is taken for its answer.
    network.setReplyDelayMs(3);
    network.faults().repeat = 1.0;
    network.faults().repeatMs = 1;
    QList<QByteArray> doubted;
    QObject::connect(&link, &cSensorLink::answersDoubted,
                     [&doubted](int address, const QList<QByteArray>& commands) {
                         EXPECT_EQ(address, 1);
                         doubted += commands;
                     });
    EXPECT_EQ(link.SendCommand("D000C", 1).outcome, Outcome::Answered);
    EXPECT_EQ(link.SendCommand("D000D", 1), test::ParameterAnswer(0x0111))
        << "the copy was taken for the next answer";
    link.Settle();
    EXPECT_EQ(doubted, QList<QByteArray>({"D000C", "D000D"}));
    EXPECT_GE(link.Statistics(1).repeatedAnswers, 1);

    // Asked again with a quiet line after each answer, the value is its own.
    const cSensorLink::SettledAnswers settled(link);
    link.Retries = 2;
    network.faults().repeat = 0;
    EXPECT_EQ(link.SendCommand("D000D", 1), test::ParameterAnswer(0x0222));

    // A copy that follows a settled answer makes it doubtful: asked again.
    network.faults().repeat = 1.0;
    QList<Outcome> outcomes;
    OnEnded([&outcomes](Outcome outcome, int) { outcomes.append(outcome); });
    EXPECT_EQ(link.SendCommand("D000C", 1), (cSensorLink::Reply{Outcome::Doubtful, std::nullopt}));
    EXPECT_EQ(outcomes, QList<Outcome>(3, Outcome::Doubtful));
}
