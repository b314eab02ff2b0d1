// Apply against the in-process simulated network.
#include "model/Parameters.h"
#include "operations/Session.h"
#include "sim/SimSerialPort.h"
#include "support/SimTraffic.h"
#include "support/TestView.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

class ApplyTest : public ::testing::Test {
protected:
    ApplyTest() : port(network, {"comm1"}), session(port, view) {
        view.session = &session;
        SensorConfig config;
        config.address = 1;
        simSensor = &network.addSensor(config);
        session.link.PortNames.setDevice(1, "comm1");
        InitParameterTable(session.sensor);
        session.sensors.setPort(1);
        session.sensors.setBaudRate(0);
        session.sensors.setAddress(1);
        session.sensors.setActive(true);
        session.sensors.Add();
        session.LoadSensor(1);
        session.StopMonitor();
        from = network.log().size();
    }

    QList<QByteArray> Requests() const { return test::CommandTexts(network, from); }

    void Edit(int parameter, std::int32_t value) {
        session.sensor.WriteParameterData(parameter, 1, value);
    }

    SimNetwork network;
    SimSerialPort port;
    test::TestView view;
    cSession session;
    SimSensor* simSensor = nullptr;
    std::size_t from = 0;
};

} // namespace

TEST_F(ApplyTest, OneGainChangeWritesItAndPollsAfterEveryWritableRegister) {
    Edit(2, 600);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    const QList<QByteArray> requests = Requests();
    ASSERT_GE(requests.size(), 3);
    EXPECT_EQ(requests.mid(0, 3), QList<QByteArray>({"C", "G0005", "L0020258"}));
    int polls = 0;
    int i = 3;
    for (; i < requests.size() && requests[i] == "A"; ++i) {
        ++polls;
    }
    EXPECT_EQ(polls, 30) << "one A after each type-1 and type-4 register";
    EXPECT_EQ(requests.value(i), "F0000") << "then the full read, no Q";
    EXPECT_EQ(requests.count("L0020258"), 1);
    for (const QByteArray& request : requests) {
        EXPECT_FALSE(request.startsWith('Q'));
    }
    ASSERT_EQ(view.prompter.asked.size(), 1) << "only the review";
    EXPECT_EQ(view.prompter.asked[0].title, "Review Changes");
    EXPECT_TRUE(view.prompter.asked[0].text.endsWith("\r\n\r\nExtend Gain: 500 600"));
    EXPECT_EQ(simSensor->parameter(2), 600);
    EXPECT_EQ(session.sensor.ReadParameterData(2, 0), 600);
    EXPECT_FALSE(session.sensor.SensorDataChanged());
}

TEST_F(ApplyTest, RunModeChangeAsksForAPowerCycleButNotAboutTheSpeed) {
    Edit(61, 2);
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    ASSERT_EQ(view.prompter.asked.size(), 2);
    EXPECT_TRUE(view.prompter.asked[0].text.contains(
        "Run Mode: 0 2  <- changes how the sensor is reached or runs"));
    EXPECT_EQ(view.prompter.asked[1].title, "Changed Sensor Settings");
    EXPECT_TRUE(view.prompter.asked[1].text.endsWith("Click 'OK' when power has been cycled."));
    EXPECT_EQ(session.sensor.ReadParameterData(61, 0), 2);
}

TEST_F(ApplyTest, NewSpeedFollowedWhenTheUserSaysYes) {
    Edit(Param::BaudRate, 1); // 19.2K
    view.beforeAnswer = [this](const QString& title) {
        if (title == "Changed Sensor Settings") {
            simSensor->PowerCycle();
        }
    };
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Yes);
    session.Apply();
    ASSERT_EQ(view.prompter.asked.size(), 3);
    EXPECT_EQ(view.prompter.asked[2].title, "Changed Sensor Baud Rate");
    EXPECT_EQ(session.sensors.BaudRate(), 3);
    EXPECT_EQ(port.baud(), 19200);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(session.sensor.ReadParameterData(Param::BaudRate, 0), 1);
}

TEST_F(ApplyTest, NewSpeedLeftToTheUserWhenTheySayNo) {
    Edit(Param::BaudRate, 1);
    view.beforeAnswer = [this](const QString& title) {
        if (title == "Changed Sensor Settings") {
            simSensor->PowerCycle();
        }
    };
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::No);
    session.Apply();
    EXPECT_EQ(session.sensors.BaudRate(), 0);
    EXPECT_EQ(view.tab, Tab::Communications);
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::OnLine));
}

TEST_F(ApplyTest, OneDwellWritesTheWholeSetpoint) {
    const std::int32_t target = session.sensor.ReadSetpointData(7, 0);
    const std::int32_t velocity = session.sensor.ReadSetpointData(7, 1);
    session.sensor.WriteSetpointData(7, 5, 250);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    QList<QByteArray> writes;
    for (const QByteArray& request : Requests()) {
        if (request.startsWith('Q')) {
            writes.append(request);
        }
    }
    const auto field = [](std::int32_t v) {
        return QByteArray::number(v, 16).toUpper().rightJustified(4, '0');
    };
    EXPECT_EQ(writes, QList<QByteArray>(
                          {"Q007" + field(target), "Q107" + field(velocity), "Q207" + field(250)}));
    EXPECT_EQ(simSensor->setpoint(7, 2), 250);
}

TEST_F(ApplyTest, UnconfirmedWriteIsReportedAndKeepsTheErrorLight) {
    Edit(2, 600);
    QObject::connect(&session.statusBar, &cStatusBar::changed, [this] {
        const QString& message = session.statusBar.Panel(1);
        network.faults().drop = message == "Writing Parameters..." ? 1.0 : 0.0;
    });
    session.link.PacketTimeout = 5;
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    ASSERT_EQ(session.LastUnconfirmed().size(), 1);
    EXPECT_EQ(session.LastUnconfirmed()[0].item, "Extend Gain");
    EXPECT_EQ(session.LastUnconfirmed()[0].sent, 600);
    ASSERT_EQ(view.prompter.asked.size(), 2);
    EXPECT_EQ(view.prompter.asked[1].title, "Changes Not Confirmed");
    EXPECT_TRUE(view.prompter.asked[1].text.contains("Extend Gain: 600, no answer"));
    EXPECT_TRUE(session.link.StatusWord.TestBit(LinkBit::TxErrorCounted));
    EXPECT_GT(session.link.TxErrors()[0], 0);
    // The answer was lost, not the write: the re-read shows what the sensor holds.
    EXPECT_EQ(session.sensor.ReadParameterData(2, 0), simSensor->parameter(2));
}

TEST_F(ApplyTest, NothingIsWrittenUnlessTheUserAgrees) {
    Edit(Param::Address, 7);
    view.prompter.Script(MessageAnswer::Cancel);
    session.Apply();
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_TRUE(view.prompter.asked[0].text.contains(
        "Address: 1 7  <- changes how the sensor is reached or runs"));
    EXPECT_TRUE(Requests().isEmpty());

    // After a read that missed answers, Apply asks before the review.
    QObject::connect(&session.statusBar, &cStatusBar::changed, [this] {
        network.faults().drop = session.statusBar.Panel(1) == "Reading Parameters..." ? 1.0 : 0.0;
    });
    session.link.PacketTimeout = 5;
    view.prompter.Script(MessageAnswer::Ok); // the read's report
    session.LoadSensor(cSession::ReloadCurrent);
    EXPECT_FALSE(session.ReadComplete());
    Edit(2, 600);
    from = network.log().size();
    view.prompter.Script(MessageAnswer::Cancel);
    session.Apply();
    EXPECT_EQ(view.prompter.asked.last().title, "Sensor Read Incomplete");
    EXPECT_TRUE(view.prompter.asked.last().text.contains("D0002 (parameter 2 Extend Gain)"));
    EXPECT_TRUE(Requests().isEmpty());
}

TEST_F(ApplyTest, ValuesOutsideTheirLimitsNeverReachTheSensor) {
    Edit(Param::Address, 0);
    Edit(20, 5);  // drive polarity
    Edit(2, 600); // and one good change
    session.sensor.WriteSetpointData(3, 3, 65535);
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    ASSERT_EQ(view.prompter.asked.size(), 2) << "no power cycle: no such change was written";
    EXPECT_TRUE(view.prompter.asked[0].text.contains(
        "Address: 1 0  <- changes how the sensor is reached or runs  (will not be written: outside "
        "its limits 1 to 26)"));
    for (const QByteArray& request : Requests()) {
        EXPECT_FALSE(request.startsWith("L037")) << "address";
        EXPECT_FALSE(request.startsWith("L014")) << "drive polarity";
        EXPECT_FALSE(request.startsWith("Q003")) << "setpoint 3";
    }
    EXPECT_EQ(simSensor->parameter(2), 600);
    EXPECT_EQ(simSensor->parameter(Param::Address), 1);
    EXPECT_EQ(view.prompter.asked.last().title, "Changes Not Confirmed");
    EXPECT_TRUE(view.prompter.asked.last().text.contains("Address: 0, not written: outside its "
                                                         "limits 1 to 26"));
    EXPECT_EQ(session.link.CurrentAddress, 1) << "the refused address is not followed";
}

TEST_F(ApplyTest, LostPortStopsTheWritesAtOnce) {
    for (int r : {2, 3, 4, 5}) {
        Edit(r, 600);
    }
    session.link.PacketTimeout = 50;
    QObject::connect(&session.statusBar, &cStatusBar::changed, [this] {
        if (session.statusBar.Panel(1) == "Writing Parameters..." && port.isOpen()) {
            port.SimulateRemoval();
        }
    });
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    QElapsedTimer clock;
    clock.start();
    session.Apply();
    EXPECT_LT(clock.elapsed(), 2000) << "no request waits out its time-out";
    ASSERT_GE(view.prompter.asked.size(), 2);
    EXPECT_EQ(view.prompter.asked[1].title, "Apply Stopped");
    EXPECT_FALSE(session.link.PortErrorText().isEmpty());
    EXPECT_TRUE(view.prompter.asked[1].text.contains(session.link.PortErrorText()));
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::OnLine));
}

TEST_F(ApplyTest, EchoesThatDifferAreReportedAsNotConfirmed) {
    // The sensor drops out of its write mode (a power glitch) just before
    // the writes: it answers each, but keeps its old values.
    Edit(2, 600);
    session.sensor.WriteSetpointData(7, 5, 250);
    const std::int32_t dwell = session.sensor.ReadSetpointData(7, 2);
    QObject::connect(&session.statusBar, &cStatusBar::changed, [this] {
        const QString& message = session.statusBar.Panel(1);
        if (message == "Writing Parameters..." || message == "Writing Setpoints...") {
            simSensor->PowerCycle();
        }
    });
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    QStringList items;
    for (const auto& u : session.LastUnconfirmed()) {
        items.append(u.Text());
    }
    EXPECT_TRUE(items.contains("Extend Gain: 600, sensor holds 500"))
        << items.join('\n').toStdString();
    EXPECT_TRUE(items.contains(QStringLiteral("Setpoint 7 dwell: 250, sensor holds %1").arg(dwell)))
        << items.join('\n').toStdString();
    EXPECT_EQ(view.prompter.asked.last().title, "Changes Not Confirmed");
}

TEST_F(ApplyTest, NewAddressIsFollowedAfterThePowerCycle) {
    Edit(Param::Address, 7);
    view.beforeAnswer = [this](const QString& title) {
        if (title == "Changed Sensor Settings") {
            simSensor->PowerCycle();
        }
    };
    view.prompter.Script(MessageAnswer::Ok);
    view.prompter.Script(MessageAnswer::Ok);
    session.Apply();
    EXPECT_EQ(simSensor->address(), 7);
    EXPECT_EQ(session.link.CurrentAddress, 7);
    EXPECT_EQ(session.sensors.Address(), 7) << "the list follows the sensor";
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded)) << "read at its new address";
    EXPECT_EQ(session.sensor.ReadParameterData(Param::Address, 0), 7);
    EXPECT_EQ(Requests().last().at(0), 'C') << "the read went on at 7";
}
