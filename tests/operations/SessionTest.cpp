// Reading, monitoring and searching against the in-process simulated network.
#include "operations/SetpointMove.h"
#include "support/SimSession.h"

#include <QLocale>
#include <QScopeGuard>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

// Sensors 1 and 3 at 115.2K and 5 at 57.6K on Comm 1; Comm 2 leads nowhere.
class SessionTest : public test::SimSessionTest {
protected:
    SessionTest() {
        port.addDevice("comm2", nullptr);
        session.link.PortNames.setDevice(2, "comm2");
        AddSensor(1);
        AddSensor(3);
        AddSensor(5, 57600);
    }
};

} // namespace

TEST_F(SessionTest, AReadAsksForEverythingInOrder) {
    AddListedSensor(3);
    session.read.LoadSensor(1);
    const QList<QByteArray> requests = Requests();
    QList<QByteArray> expected{"A", "A"};
    for (int f = 0; f < 9; ++f) {
        expected << "F" + test::Hex(6 * f, 4);
    }
    for (const QByteArray& request : requests.mid(11, 32)) {
        expected << (request.startsWith('D') ? request : "D");
    }
    for (int s = 0; s < 60; ++s) {
        for (int f = 0; f < 3; ++f) {
            expected << "R" + QByteArray::number(f) + test::Hex(s, 3);
        }
    }
    // Every defined parameter but the jog velocity; no run mode shown yet: no target.
    EXPECT_EQ(requests, expected);
    // The sensor gets 75 ms after each identity request.
    const auto& log = network.log();
    for (std::size_t f = 3; f < 11; ++f) {
        EXPECT_GE(log[f].timeMs - log[f - 1].timeMs, 75) << "after " << log[f - 1].request.data();
    }
    EXPECT_TRUE(session.monitor.Running()) << "the Monitor tab is showing";

    // Read while the Graph tab shows: the monitor goes on polling there too.
    session.monitor.Stop();
    view.tab = Tab::Graph;
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    EXPECT_TRUE(session.monitor.Running());
}

TEST_F(SessionTest, AReloadTakesOnlyThePositionJustAnsweredAsTheTarget) {
    ListAndRead(1); // run mode Serial: a reload ends with A, I (the position), B, B, C
    // Something else moves the cylinder to 3000 (0BB8).
    sim::SimSensor& sim = network.sensor(0);
    sim.Respond("K0FA0", network.elapsedMs());
    sim.Respond("I0BB8", network.elapsedMs());
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    const QList<QByteArray> reload = Requests(from);
    EXPECT_EQ(reload.mid(reload.size() - 5), QList<QByteArray>({"A", "I0BB8", "B", "B", "C"}));

    // The position's answer is lost: no target at all.
    bool setpointsRead = false;
    OnMessage([&](const QString& message) {
        setpointsRead = setpointsRead || message == "Reading Setpoints...";
        network.faults().drop = setpointsRead && message == "Ready" ? 1.0 : 0.0;
    });
    from = network.log().size();
    Answer({MessageAnswer::Ok});
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    EXPECT_TRUE(Sent(from, "I").isEmpty());
    EXPECT_EQ(view.prompter.asked.value(0).title, "Target Not Set");
}

TEST_F(SessionTest, ATargetWhoseVelocityGoesUnansweredIsNotSent) {
    ListAndRead(1);
    session.setpoints.SetViewOnly(false);
    network.faults().drop = 1.0;
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(4, true), MoveOutcome::NotConfirmed);
    EXPECT_EQ(Sent(from, "KI"), QList<QByteArray>(1 + session.link.Retries, "K0014"));
}

TEST_F(SessionTest, ATargetWhoseAnswerIsLostIsSetOnlyWhenTheSensorShowsIt) {
    ListAndRead(1);
    session.setpoints.SetViewOnly(false);
    cSetpointMove move(session);
    network.faults().lostAnswers = {"I"};
    move.Start(4, 60000);
    EXPECT_EQ(move.State(), cSetpointMove::Result::Moving) << move.Reason().toStdString();
    network.faults().lostRequests = {"I"};
    move.Start(5, 60000);
    EXPECT_EQ(move.State(), cSetpointMove::Result::NotConfirmed);
}

TEST_F(SessionTest, ATargetBeyondTheTravelLimitsIsSentOnlyWhenTheUserSaysYes) {
    QLocale::setDefault(QLocale::c()); // the question's lengths are display texts
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    network.sensor(0).setParameter(Param::MaximumTravel, 12000);
    ListAndRead(1);
    session.setpoints.SetViewOnly(false);
    Answer({MessageAnswer::No, MessageAnswer::Yes});
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(58, true), MoveOutcome::Shown);
    EXPECT_TRUE(Sent(from, "KI").isEmpty());
    EXPECT_EQ(view.prompter.asked.value(0).text,
              "The target of setpoint 59, 23.213 in, lies outside the travel limits 0.050 in to "
              "12.000 in or past the sensor's length 24.000 in.\r\nMove the cylinder there?");
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(58, true), MoveOutcome::Moved);
    EXPECT_EQ(Sent(from, "KI"), (QList<QByteArray>{"K0014", "I5AAD"}));
    session.sensor.WriteSetpointData(58, clsSensorData::EditedTargetColumn, 70000);
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(58, true), MoveOutcome::Shown);
    EXPECT_EQ(Sent(from, "KI").size(), 2) << "no I carries it, so not even its velocity goes";
}

TEST_F(SessionTest, WhatAReadMissedIsReportedAndBecomesNeitherATargetNorATestSequence) {
    ListAndRead(1);
    OnMessage([this](const QString& message) {
        const bool setpoint4 = message == "Reading Setpoints..." &&
                               session.statusBar.ProgressValue() == 3; // 0 to 3 are read
        network.faults().drop = setpoint4 ? 1.0 : 0.0;
    });
    Answer({MessageAnswer::Ok});
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    EXPECT_TRUE(view.prompter.asked.value(0).text.startsWith("3 of the requests"));
    EXPECT_TRUE(view.prompter.asked.value(0).text.contains("R0004 (setpoint 5 target)"))
        << "numbered as the grid numbers it";
    EXPECT_EQ(session.sensor.ReadSetpointData(4, 0), 0) << "stored as the read found it";
    session.setpoints.SetViewOnly(false);
    from = network.log().size();
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(4, true), MoveOutcome::Shown);
    EXPECT_TRUE(Sent(from, "KI").isEmpty());
    session.sensor.WriteSetpointData(4, clsSensorData::EditedTargetColumn, 1000);
    session.sensor.WriteSetpointData(4, clsSensorData::EditedVelocityColumn, 30);
    EXPECT_EQ(session.setpoints.ShowSetpointWindow(4, true), MoveOutcome::Moved);
    EXPECT_EQ(Sent(from, "KI"), (QList<QByteArray>{"K001E", "I03E8"}));

    // A test sequence needs the travel limits read.
    DropWhile(QStringLiteral("Reading Parameters..."));
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.read.LoadSensor(cReadFlow::ReloadCurrent);
    EXPECT_FALSE(session.setpoints.LoadSetpointTest(0));
    EXPECT_EQ(view.prompter.asked.last().title, "Setpoint Test");
}

TEST_F(SessionTest, SilentSensorsAreMarkedAndLeaveTheWindowOnCommunications) {
    EXPECT_FALSE(session.search.VerifySensorList()) << "an empty list";
    AddListedSensor(1);
    AddListedSensor(2);
    EXPECT_FALSE(session.search.VerifySensorList());
    session.sensors.setSensorNumber(1);
    EXPECT_TRUE(session.sensors.Active());
    session.sensors.setSensorNumber(2);
    EXPECT_FALSE(session.sensors.Active());

    // A listed sensor whose first answer is lost is asked again, not marked off line.
    const std::size_t before = network.log().size();
    network.setSeed(7); // the first answer is dropped, the next ones come
    network.faults().drop = 0.5;
    session.search.VerifySensorList();
    EXPECT_TRUE(network.log()[before].outcome.startsWith("no answer: dropped"));
    session.sensors.setSensorNumber(1);
    EXPECT_TRUE(session.sensors.Active());
    network.faults().drop = 0;
    session.read.LoadSensor(2);
    EXPECT_EQ(view.tab, Tab::Communications);
    EXPECT_EQ(session.CommLabel(), "No Response from Sensor");
    EXPECT_TRUE(session.CommLabelRed());
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_FALSE(view.tabEnabled[Tab::Graph]);
    EXPECT_FALSE(session.monitor.Running());
}

TEST_F(SessionTest, MonitorPollsInTurnAndOnlyOnTheMonitorTab) {
    session.monitor.Start();
    EXPECT_FALSE(session.monitor.Running()) << "no data loaded";
    AddSensor(7, 115200, 12000); // readouts other than the 0 they start at
    ListAndRead(7);
    QList<ReadoutPanel> drawn;
    QObject::connect(&session.monitor, &cMonitorFlow::readoutShown,
                     [&](ReadoutPanel panel, Readout, const QString&) { drawn.append(panel); });
    Ticks(14);
    EXPECT_EQ(Requests(from), QList<QByteArray>({"A", "B", "A", "C", "A", "B", "A", "A", "B", "A",
                                                 "C", "A", "B", "A"}));
    EXPECT_FALSE(drawn.isEmpty());
    EXPECT_EQ(drawn.count(ReadoutPanel::Monitor), drawn.size());

    session.monitor.Start();
    view.SelectTab(Tab::Dynamics);
    EXPECT_FALSE(session.monitor.Running());
    drawn.clear();
    session.link.Decoder().ResetReadouts();
    session.monitor.Tick();
    EXPECT_TRUE(drawn.isEmpty()) << "no readout on the Dynamics tab";
    view.SelectTab(Tab::Monitor);
    EXPECT_TRUE(session.monitor.Running());
}

TEST_F(SessionTest, PortSearchFindsTheSensorsAtItsSpeedOnlyAndKeepsTheirNames) {
    session.link.PacketTimeout = 5; // the simulator answers at once
    session.ChoosePortOption(1);    // Comm 2: nothing there
    session.ChooseSpeedOption(3);
    session.search.CommApply();
    EXPECT_EQ(session.sensors.Count(), 0);
    EXPECT_EQ(session.link.CurrentPort, 0);
    EXPECT_EQ(network.requestCount(), 0);

    session.ChoosePortOption(0);
    session.ChooseSpeedOption(1); // 57.6K
    session.search.CommApply();
    ASSERT_EQ(session.sensors.Count(), 1);
    EXPECT_EQ(session.sensors.Address(), 5);
    session.ChooseSpeedOption(0);
    const auto search = [this] {
        session.search.CommApply();
        ASSERT_EQ(session.sensors.Count(), 2);
        session.sensors.setSensorNumber(1);
        EXPECT_EQ(session.sensors.Address(), 1);
        session.sensors.setSensorNumber(2);
        EXPECT_EQ(session.sensors.Serial(), "10000003");
    };
    search();
    EXPECT_TRUE(session.PortOptions[0].green);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(session.link.CurrentAddress, 3) << "the last one found is current";

    session.sensors.setSensorName("Press 3, left");
    session.sensors.Update();
    // The adapter is out: nothing was searched, nothing is forgotten.
    port.SimulateRemoval("comm1");
    search();
    EXPECT_EQ(session.sensors.SensorName(), "Press 3, left");
    EXPECT_TRUE(session.CommLabelRed());
}

TEST_F(SessionTest, FullScanVisitsEveryPortAndSpeedButAnExcludedPortOne) {
    session.search.SetExcludePort1(true);
    session.search.FindPorts();
    EXPECT_EQ(session.link.AvailablePorts.Map(), 0b100);
    EXPECT_FALSE(session.PortOptions[0].enabled);
    EXPECT_EQ(session.link.CurrentPort, 2);

    session.search.SetExcludePort1(false);
    session.link.PacketTimeout = 5; // the simulator answers at once
    session.search.FindPorts();
    EXPECT_EQ(session.link.AvailablePorts.Map(), 0b110);
    session.search.FullScan();
    EXPECT_EQ(network.requestCount(), 4 * 26 + 3 + 3 * 2 + 9 + 32 + 180)
        << "one poll per empty address, two per sensor, its serial, then the read";
    ASSERT_EQ(session.sensors.Count(), 3);
    session.sensors.setSensorNumber(3);
    EXPECT_EQ(session.sensors.Address(), 5);
    EXPECT_EQ(session.sensors.BaudRate(), 1);
    EXPECT_EQ(session.link.CurrentAddress, 1) << "the first active sensor is loaded";
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::FullScan));
}

// Before any sensor was read the record holds only defaults: nothing of it is
// saved, and Reset sends nothing; each says why.
TEST_F(SessionTest, WithNoSensorReadSaveAndResetSayThereIsNone) {
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.dataFile.SaveSensorData();
    session.read.Reset();
    ASSERT_EQ(view.prompter.asked.size(), 2);
    for (const auto& question : view.prompter.asked) {
        EXPECT_TRUE(question.text.startsWith("No sensor has been read"))
            << question.title.toStdString();
    }
    EXPECT_TRUE(view.fileQuestions.isEmpty());
    EXPECT_TRUE(network.log().empty());
}

TEST_F(SessionTest, ASecondFlowNeverStartsInsideTheFirst) {
    ListAndRead(3);
    bool refused = false;
    OnMessage([&](const QString& message) {
        if (message == "Reading Parameters...") {
            refused = !session.RunUserFlow([&] { session.read.Reset(); });
        }
    });
    EXPECT_TRUE(session.RunUserFlow([&] { session.read.Reset(); }));
    EXPECT_TRUE(refused);
    EXPECT_EQ(Requests(from).count("F0000"), 1) << "one read, not one inside another";
    EXPECT_EQ(session.sensor.SerialNumber(), "10000003");
    EXPECT_FALSE(session.FlowRunning());

    // Once the program ends, no flow starts and nothing is sent.
    session.Abort();
    const auto after = network.log().size();
    EXPECT_FALSE(session.RunUserFlow([&] { session.read.Reset(); }));
    session.read.LoadSensor(1);
    EXPECT_EQ(network.log().size(), after);
}

TEST_F(SessionTest, LostPollsAndALostPortMarkTheReadoutsStale) {
    AddListedSensor(1);
    session.read.LoadSensor(1);
    const auto allStale = [this](bool stale) {
        for (const Readout readout : AllReadouts) {
            EXPECT_EQ(session.monitor.ReadoutStale(readout), stale) << static_cast<int>(readout);
        }
    };
    for (const double drop : {0.0, 1.0, 0.0}) {
        network.faults().drop = drop;
        PauseProcessingEvents(800);
        allStale(drop > 0);
        EXPECT_EQ(session.link.StateFlags.TestBit(StateBit::CommOk), drop == 0) << drop;
    }

    // Edits not applied when the line goes stay over the read once it is back.
    session.sensor.WriteParameterData(2, clsSensorData::ChangedDataColumn, 611);
    session.sensor.WriteSetpointData(7, clsSensorData::EditedDwellColumn, 250);
    port.SimulateRemoval("comm1");
    PauseProcessingEvents(300);
    allStale(true);
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_FALSE(session.monitor.Running());
    EXPECT_TRUE(session.CommLabelRed());
    EXPECT_TRUE(session.CommLabel().contains("comm1")) << session.CommLabel().toStdString();
    network.sensor(0).setParameter(3, 432);
    port.SimulateReinsertion("comm1");
    PauseProcessingEvents(2 * cMonitorFlow::ReconnectIntervalMs);
    ASSERT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(session.sensor.ReadParameterData(3, clsSensorData::SensorDataColumn), 432);
    EXPECT_EQ(session.sensor.ReadParameterData(2, clsSensorData::ChangedDataColumn), 611);
    EXPECT_EQ(session.sensor.ReadSetpointData(7, clsSensorData::EditedDwellColumn), 250);
}

TEST_F(SessionTest, CommStatusLinesChangeOnlyWhenTheirLightDoes) {
    ASSERT_TRUE(session.link.OpenPort(1, 0));
    QList<unsigned> changed;
    QObject::connect(&session, &cSession::commStatusChanged,
                     [&](unsigned lines) { changed.append(lines); });
    network.faults().corrupt = 1.0;
    session.link.SendCommand("A", 1);
    session.ShowCommStatus();
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(changed.last() & (1U << 4)) << "the CRC line turned red";
    EXPECT_FALSE(changed.last() & (1U << 2)) << "the port line stayed as it was";
    EXPECT_EQ(session.CommStatus().errorText(1), "1");
    EXPECT_EQ(session.PortOptions.Chosen(), 0) << "opening a port selects its option";
    EXPECT_TRUE(session.PortOptions[0].bold);

    network.faults().corrupt = 0.0;
    session.link.PacketTimeout = 30;
    session.link.SendCommand("D000C", 2);
    EXPECT_EQ(session.CommLabel(), "Error on Command: D");
}
