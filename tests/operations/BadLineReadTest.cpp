// Whole reads on lines that repeat, delay, echo and lose answers: a read
// either holds exactly what the sensor holds or says what it could not read.
#include "support/SimSession.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class BadLineReadTest : public test::SimSessionTest {
protected:
    // Sensor 1, listed and read once on a clean line, its values different
    // from register to register and setpoint to setpoint so that an answer
    // taken for the wrong request shows.
    BadLineReadTest() : sim(AddSensor(1)) {
        for (int r = 0; r < sim::SimSensor::ParameterCount; ++r) {
            if (r != Param::Address && r != Param::BaudRate) {
                sim.setParameter(r, static_cast<std::uint16_t>(100 + r));
            }
        }
        for (int s = 0; s < 60; ++s) {
            for (int f = 0; f < 3; ++f) {
                sim.setSetpoint(s, f, static_cast<std::uint16_t>(1000 + 3 * s + f));
            }
        }
        ListAndRead(1);
        session.link.ResetStatistics();
        network.setSeed(7);
    }

    // Reads the sensor again on the faulty line; a complete read asks nothing,
    // an incomplete one reports (OK) and asks about the target (OK).
    void ReadAgain(int retries) {
        session.link.Retries = retries;
        Answer({MessageAnswer::Ok, MessageAnswer::Ok});
        session.read.LoadSensor(cReadFlow::ReloadCurrent);
        session.monitor.Stop();
        network.faults() = {};
    }

    // Every value the read stored is the sensor's own.
    void ExpectStoredValuesAreTheSensors() {
        const QSet<int> unreadParameters = session.read.UnreadParameters();
        const QSet<int> unreadSetpoints = session.read.UnreadSetpoints();
        // Registers the read adjusts as it stores them.
        const QSet<int> adjusted = {
            Param::VelocityEnable, 16, 20, 41, 58, Param::CylinderType, Param::ZeroAdjust,
            Param::LoopTime};
        for (int r = 1; r <= session.sensor.MaxParameters(); ++r) {
            const std::int32_t type = session.sensor.ReadParameterData(r, 5);
            if (type != 0 && type != 8 && !unreadParameters.contains(r) && !adjusted.contains(r)) {
                EXPECT_EQ(session.sensor.ReadParameterData(r, 0), sim.parameter(r))
                    << "parameter " << r;
            }
        }
        for (int s = 0; s < 60; ++s) {
            for (int f = 0; f < 3 && !unreadSetpoints.contains(s); ++f) {
                EXPECT_EQ(session.sensor.ReadSetpointData(s, f), sim.setpoint(s, f))
                    << s << "/" << f;
            }
        }
    }

    void ExpectCompleteAndExact() {
        EXPECT_TRUE(session.read.ReadComplete()) << session.read.ReadFailureText().toStdString();
        EXPECT_TRUE(view.prompter.asked.isEmpty()) << view.prompter.asked[0].text.toStdString();
        ExpectStoredValuesAreTheSensors();
    }

    const cLinkStatistics& Stats() const { return session.link.Statistics(1); }

    // Frames more than were asked for: each counts once, as late or repeated.
    std::int64_t Strays() const { return Stats().lateAnswers + Stats().repeatedAnswers; }

    // The answers since log entry `from` the simulator sent with `fault`.
    std::int64_t Faulted(std::size_t from, const QString& fault) const {
        std::int64_t count = 0;
        for (std::size_t i = from; i < network.log().size(); ++i) {
            count += network.log()[i].outcome.contains(fault) ? 1 : 0;
        }
        return count;
    }

    sim::SimSensor& sim;
};

TEST_F(BadLineReadTest, WithoutRetriesLateAnswersLeaveGapsNeverShiftedValues) {
    network.faults().late = 0.15;
    network.faults().lateMs = 35; // 10 ms after the time-out
    ReadAgain(0);
    EXPECT_FALSE(session.read.ReadComplete());
    EXPECT_GT(Stats().lateAnswers, 0);
    ExpectStoredValuesAreTheSensors();
    EXPECT_TRUE(view.prompter.asked.value(0).text.contains(
        "came after the time-out of 25 ms and were discarded: a longer time-out (the Timeout "
        "list, --timeout) may help"))
        << view.prompter.asked.value(0).text.toStdString();
}

TEST_F(BadLineReadTest, LateAnswersAreAskedAgainAndTheReadCompletes) {
    // A time-out a loaded machine does not reach with an answer on time.
    session.link.PacketTimeout = 60;
    for (const int lateMs : {70, 130}) { // just after the time-out; past two of them
        SCOPED_TRACE(lateMs);
        session.link.ResetStatistics();
        const std::size_t before = network.log().size();
        network.faults().late = 0.05;
        network.faults().lateMs = lateMs;
        ReadAgain(2);
        ExpectCompleteAndExact();
        EXPECT_GT(Stats().retries, 0);
        EXPECT_GT(Strays(), 0);
        EXPECT_EQ(Strays(), Faulted(before, "late"));
        view.prompter.asked.clear();
    }
}

TEST_F(BadLineReadTest, RepeatedAnswersOnAnEchoingLineAreDoubtedNeverStoredAndCounted) {
    // A copy taken for the next answer comes before that request's echo:
    // the echo heard after it puts the answer in doubt, and still counts.
    const std::size_t before = network.log().size();
    network.faults().echo = true;
    network.faults().repeat = 0.05;
    ReadAgain(2);
    ExpectCompleteAndExact();
    EXPECT_EQ(Stats().echoesSkipped, static_cast<std::int64_t>(network.log().size() - before));
    EXPECT_GT(Stats().doubted, 0);
    EXPECT_GT(Strays(), 0);
    EXPECT_EQ(Strays(), Faulted(before, "repeated"));
}

TEST_F(BadLineReadTest, ASensorThatFallsSilentIsGivenUpAfterFiveRequests) {
    const std::size_t before = network.log().size();
    network.faults().silentAfter = network.requestCount() + 40;
    ReadAgain(2);
    EXPECT_FALSE(session.read.ReadComplete());
    // Forty answered, then five requests, each asked three times.
    EXPECT_EQ(network.log().size() - before, 40u + 5u * 3u);
    EXPECT_TRUE(view.prompter.asked.value(0).text.contains("Sensor 1 stopped answering"))
        << view.prompter.asked.value(0).text.toStdString();
    ExpectStoredValuesAreTheSensors();
}

} // namespace
