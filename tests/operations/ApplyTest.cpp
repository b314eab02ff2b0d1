// Apply against the in-process simulated network.
#include "model/Speeds.h"
#include "support/SimSession.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

using enum MessageAnswer;

// Sensor 1, read; the requests from there on are Apply's. The review's
// values are display texts, read here in a fixed locale.
class ApplyTest : public test::SimSessionTest {
protected:
    ApplyTest() : sim(AddSensor(1)) {
        QLocale::setDefault(QLocale::c());
        ListAndRead(1);
    }
    ~ApplyTest() override { QLocale::setDefault(QLocale::system()); }

    void Edit(int parameter, std::int32_t value) {
        session.sensor.WriteParameterData(parameter, 1, value);
    }
    // Apply, its questions answered in turn.
    void ApplyAnswering(std::initializer_list<MessageAnswer> answers) {
        Answer(answers);
        session.apply.Apply();
    }
    const test::ScriptedPrompter::Question& LastQuestion() const {
        return view.prompter.asked.last();
    }

    sim::SimSensor& sim;
};

} // namespace

TEST_F(ApplyTest, ChangesAreReviewedWrittenPolledAfterEachRegisterAndReadBack) {
    Edit(2, 600);
    const std::int32_t target = session.sensor.ReadSetpointData(7, 0);
    const std::int32_t velocity = session.sensor.ReadSetpointData(7, 1);
    session.sensor.WriteSetpointData(7, 5, 250); // one dwell: the whole setpoint is written
    ApplyAnswering({Ok});
    const QList<QByteArray> requests = Requests(from);
    EXPECT_EQ(requests.mid(0, 3), QList<QByteArray>({"C", "G0005", "L0020258"}));
    EXPECT_EQ(requests.mid(3, 30), QList<QByteArray>(30, "A"))
        << "one A after each type-1 and type-4 register";
    EXPECT_EQ(requests.mid(33, 4),
              QList<QByteArray>({"Q007" + test::Hex(target, 4), "Q107" + test::Hex(velocity, 4),
                                 "Q207" + test::Hex(250, 4), "F0000"}))
        << "then the full read";
    EXPECT_EQ(requests.count("L0020258"), 1);
    ASSERT_EQ(view.prompter.asked.size(), 1) << "only the review";
    EXPECT_EQ(LastQuestion().title, "Review Changes");
    // The review is the list of the writes, in the sensor's units.
    EXPECT_EQ(LastQuestion().text.toStdString(),
              "Apply writes these values to sensor 1 (name: held -> new):\r\n\r\n"
              "Extend Gain: 500 -> 600\r\nSetpoint 8 target: 3.148 in -> 3.148 in\r\n"
              "Setpoint 8 velocity: 0.20 in/sec -> 0.20 in/sec\r\n"
              "Setpoint 8 dwell: 0.10 sec -> 2.50 sec");
    EXPECT_FALSE(session.sensor.SensorDataChanged());
}

TEST_F(ApplyTest, PowerCycleChangesAskForItAndTheSensorIsFollowedToItsNewAddressAndSpeed) {
    view.beforeAnswer = [this](const QString& title) {
        if (title == "Changed Sensor Settings") {
            sim.PowerCycle();
        }
    };
    Edit(Param::RunMode, 2);
    Edit(Param::Address, 0); // refused: outside its limits
    ApplyAnswering({Ok, Ok, Ok});
    ASSERT_EQ(view.prompter.asked.size(), 3) << "no question about the speed";
    EXPECT_TRUE(view.prompter.asked[0].text.endsWith(
        "\r\nAddress: 1 -> 0  (will not be written: outside its limits 1 to 26)\r\nRun Mode: "
        "Serial -> Pulse  (takes effect once the sensor's power has been cycled)"));
    EXPECT_EQ(view.prompter.asked[1].title, "Changed Sensor Settings");
    EXPECT_EQ(session.sensor.ReadParameterData(Param::RunMode, 0), 2);
    EXPECT_EQ(session.link.CurrentAddress, 1) << "the address not written is not followed";

    Edit(Param::Address, 7);
    ApplyAnswering({Ok, Ok});
    EXPECT_EQ(sim.address(), 7);
    EXPECT_EQ(session.link.CurrentAddress, 7);
    EXPECT_EQ(session.sensors.Address(), 7) << "the list follows the sensor";
    EXPECT_EQ(session.sensor.ReadParameterData(Param::Address, 0), 7) << "read at its new address";

    Edit(Param::BaudRate, 1); // 19.2K
    ApplyAnswering({Ok, Ok, Yes});
    EXPECT_EQ(LastQuestion().title, "Changed Sensor Baud Rate");
    EXPECT_EQ(session.sensors.BaudRate(), 3);
    EXPECT_EQ(port.baud(), 19200);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(session.sensor.ReadParameterData(Param::BaudRate, 0), 1);
    EXPECT_EQ(view.tab, Tab::Monitor);

    Edit(Param::BaudRate, 4); // 115.2K, left to the user
    ApplyAnswering({Ok, Ok, No});
    EXPECT_EQ(session.sensors.BaudRate(), 3);
    EXPECT_EQ(view.tab, Tab::Communications);
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::OnLine));
}

// The adapter out while the power-cycle question is up, back before the
// answer, then after Apply: either way the sensor is read once, at its new
// speed, and every display shows that speed.
TEST_F(ApplyTest, ASpeedChangeFollowedThroughALostPortKeepsTheNewSpeedEverywhere) {
    bool backBeforeTheAnswer = true;
    view.beforeAnswer = [&](const QString& title) {
        if (title == "Changed Sensor Settings") {
            port.SimulateRemoval("comm1");
            PauseProcessingEvents(50);
            sim.PowerCycle();
            if (backBeforeTheAnswer) {
                port.SimulateReinsertion("comm1");
            }
        }
    };
    for (const int speed : {1, 2}) { // 57.6K, then 38.4K
        from = network.log().size();
        Edit(Param::BaudRate, 4 - speed);
        Answer({Ok, Ok, Yes});
        session.RunUserFlow([this] { session.apply.Apply(); });
        port.SimulateReinsertion("comm1");
        view.SelectTab(Tab::Monitor);
        PauseProcessingEvents(2 * cMonitorFlow::ReconnectIntervalMs);
        EXPECT_EQ(Requests(from).count("F0000"), 1);
        // The monitor polls, at the new speed, and is answered.
        EXPECT_TRUE(session.monitor.Running());
        EXPECT_EQ(network.log().back().baud, SpeedTable[speed].baud);
        EXPECT_EQ(network.log().back().outcome, "answered");
        const QString shown = QStringLiteral("Comm 1 @ %1K").arg(SpeedTable[speed].speedText);
        EXPECT_EQ(session.statusBar.Panel(3), shown);
        EXPECT_EQ(session.CommStatus().portStatus(), shown + " Open");
        backBeforeTheAnswer = false;
    }
}

TEST_F(ApplyTest, UnconfirmedWriteIsReportedAndKeepsTheErrorLight) {
    Edit(2, 600);
    DropWhile("Writing Parameters...");
    session.link.PacketTimeout = 5;
    ApplyAnswering({Ok, Ok});
    ASSERT_EQ(session.apply.LastUnconfirmed().size(), 1);
    EXPECT_EQ(LastQuestion().title, "Changes Not Confirmed");
    EXPECT_TRUE(LastQuestion().text.contains("Extend Gain: 600, no answer"));
    EXPECT_TRUE(session.link.StatusWord.TestBit(LinkBit::TxErrorCounted));
    EXPECT_GT(session.link.TxErrors()[0], 0);
    // The answer was lost, not the write: the re-read shows what the sensor holds.
    EXPECT_EQ(session.sensor.ReadParameterData(2, 0), sim.parameter(2));
}

TEST_F(ApplyTest, EchoesThatDifferAreReportedAsNotConfirmed) {
    // The sensor drops out of its write mode (a power glitch) just before
    // the writes: it answers each, but keeps its old values.
    Edit(2, 600);
    session.sensor.WriteSetpointData(7, 5, 250);
    const std::int32_t dwell = session.sensor.ReadSetpointData(7, 2);
    OnMessage([this](const QString& message) {
        if (message == "Writing Parameters..." || message == "Writing Setpoints...") {
            sim.PowerCycle();
        }
    });
    ApplyAnswering({Ok, Ok});
    QStringList items;
    for (const auto& u : session.apply.LastUnconfirmed()) {
        items.append(u.Text());
    }
    EXPECT_EQ(items,
              QStringList({"Extend Gain: 600, sensor holds 500",
                           QStringLiteral("Setpoint 8 dwell: 2.50 sec, sensor holds %1.%2 sec")
                               .arg(dwell / 100)
                               .arg(dwell % 100, 2, 10, QChar(u'0'))}));
}

TEST_F(ApplyTest, NothingIsWrittenUnlessTheUserAgrees) {
    Edit(Param::Address, 7);
    ApplyAnswering({Cancel});
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_TRUE(Requests(from).isEmpty());

    // After a read that missed answers, Apply asks before the review.
    DropWhile("Reading Parameters...");
    session.link.PacketTimeout = 5;
    Answer({Ok}); // the read's report
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    ASSERT_FALSE(session.read.ReadComplete());
    Edit(2, 600);
    from = network.log().size();
    ApplyAnswering({Cancel});
    EXPECT_EQ(LastQuestion().title, "Sensor Read Incomplete");
    EXPECT_TRUE(LastQuestion().text.contains("D0002 (parameter 2 Extend Gain)"));
    EXPECT_TRUE(Requests(from).isEmpty());
}

TEST_F(ApplyTest, AnAddressAnotherSensorAnswersAtIsRefusedBeforeAnyWrite) {
    AddSensor(3); // not in the list: only the line knows it
    Edit(Param::Address, 3);
    ApplyAnswering({Ok, Ok}); // the review, then the refusal
    ASSERT_EQ(view.prompter.asked.size(), 2);
    EXPECT_EQ(LastQuestion().title, "Incorrect Sensor Address");
    EXPECT_TRUE(LastQuestion().text.startsWith(
        "Another sensor already answers at address 3 on Comm 1 @ 115.2K; sensor 1 cannot be "
        "given that address."))
        << LastQuestion().text.toStdString();
    EXPECT_EQ(Sent(from, "LQGIK"), QList<QByteArray>());
}

TEST_F(ApplyTest, ValuesOutsideTheirLimitsNeverReachTheSensor) {
    Edit(Param::Address, 0);
    Edit(20, 5);  // drive polarity
    Edit(2, 600); // and one good change
    session.sensor.WriteSetpointData(3, 3, 65535);
    ApplyAnswering({Ok, Ok});
    ASSERT_EQ(view.prompter.asked.size(), 2) << "no power cycle: no such change was written";
    EXPECT_TRUE(view.prompter.asked[0].text.contains("Address: 1 -> 0  (will not be written"));
    for (const QByteArray& request : Requests(from)) {
        EXPECT_FALSE(request.startsWith("L037") || request.startsWith("L014") ||
                     request.startsWith("Q003"))
            << request.toStdString();
    }
    EXPECT_EQ(sim.parameter(2), 600);
    EXPECT_TRUE(LastQuestion().text.contains("Address: 0, not written"));
}

TEST_F(ApplyTest, LostPortStopsTheWritesAtOnce) {
    for (int r : {2, 3, 4, 5}) {
        Edit(r, 600);
    }
    session.link.PacketTimeout = 50;
    OnMessage([this](const QString& message) {
        if (message == "Writing Parameters..." && port.isOpen()) {
            port.SimulateRemoval();
        }
    });
    Answer({Ok, Ok, Ok});
    QElapsedTimer clock;
    clock.start();
    session.apply.Apply();
    EXPECT_LT(clock.elapsed(), 2000) << "no request waits out its time-out";
    ASSERT_GE(view.prompter.asked.size(), 2);
    EXPECT_EQ(view.prompter.asked[1].title, "Apply Stopped");
    EXPECT_FALSE(session.link.PortErrorText().isEmpty());
    EXPECT_TRUE(view.prompter.asked[1].text.contains(session.link.PortErrorText()));
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::OnLine));
}
