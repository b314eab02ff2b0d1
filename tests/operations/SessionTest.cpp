// Reading, monitoring and searching against the in-process simulated network.
#include "operations/Session.h"
#include "model/Parameters.h"
#include "sim/SimSerialPort.h"
#include "support/SimTraffic.h"
#include "support/TestView.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

SensorConfig Sensor(int address, qint32 baud = 115200) {
    SensorConfig config = test::SensorAt(address, baud);
    config.serialNumber = QByteArray::number(10000000 + address);
    return config;
}

class SessionTest : public ::testing::Test {
protected:
    SessionTest() : port(network, {"comm1"}), session(port, view) {
        view.session = &session;
        port.addDevice("comm2", nullptr); // a port with nothing on it
        network.addSensor(Sensor(1));
        network.addSensor(Sensor(3));
        network.addSensor(Sensor(5, 57600));
        session.link.PortNames.setDevice(1, "comm1");
        session.link.PortNames.setDevice(2, "comm2");
        InitParameterTable(session.sensor);
    }

    // The command letters (and fields) the simulator saw, oldest first,
    // starting at entry `from`.
    QList<QByteArray> Requests(std::size_t from = 0) const {
        return test::CommandTexts(network, from);
    }

    void AddListedSensor(int port, int speed, int address) {
        session.sensors.setPort(static_cast<std::int16_t>(port));
        session.sensors.setBaudRate(static_cast<std::int16_t>(speed));
        session.sensors.setAddress(static_cast<std::int16_t>(address));
        session.sensors.setSerial("1");
        session.sensors.setActive(true);
        session.sensors.Add();
    }

    SimNetwork network;
    SimSerialPort port;
    test::TestView view;
    cSession session;
};

} // namespace

TEST_F(SessionTest, LoadSensorReadsEverythingInOrder) {
    AddListedSensor(1, 0, 3);
    session.LoadSensor(1);
    const QList<QByteArray> requests = Requests();

    int i = 0;
    EXPECT_EQ(requests.mid(i, 2), QList<QByteArray>({"A", "A"}));
    i += 2;
    for (int f = 0; f < 9; ++f, ++i) {
        EXPECT_EQ(requests.value(i),
                  "F" + QByteArray::number(6 * f, 16).toUpper().rightJustified(4, '0'));
    }
    int parameters = 0;
    while (requests.value(i).startsWith('D')) {
        ++parameters;
        ++i;
    }
    EXPECT_EQ(parameters, 32) << "every defined parameter but the jog velocity";
    for (int s = 0; s < 60; ++s) {
        for (int f = 0; f < 3; ++f, ++i) {
            EXPECT_EQ(requests.value(i),
                      "R" + QByteArray::number(f) +
                          QByteArray::number(s, 16).toUpper().rightJustified(3, '0'));
        }
    }
    EXPECT_EQ(i, requests.size()) << "no run mode shown yet: nothing more";
    // The sensor gets 75 ms after each identity request (as the simulator's
    // clock saw the requests come).
    const auto& log = network.log();
    ASSERT_GE(log.size(), 11U);
    for (std::size_t f = 3; f < 11; ++f) {
        EXPECT_GE(log[f].timeMs - log[f - 1].timeMs, 75) << "after " << log[f - 1].request.data();
    }

    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_TRUE(session.sensor.DataIsLoaded());
    EXPECT_FALSE(session.sensor.SensorDataChanged());
    EXPECT_EQ(session.sensor.ReadParameterData(2, 0), 500);
    EXPECT_TRUE(session.LastReadFailures().isEmpty());
    EXPECT_TRUE(session.MonitorRunning()) << "the Monitor tab is showing";
    EXPECT_EQ(session.statusBar.Panel(4), "Monitor");

    // Run mode "Serial" is now shown: a reload ends by taking the position
    // as the target.
    session.StopMonitor();
    const auto before = network.log().size();
    session.LoadSensor(cSession::ReloadCurrent);
    const QList<QByteArray> reload = Requests(before);
    ASSERT_GE(reload.size(), 5);
    EXPECT_EQ(reload.mid(reload.size() - 5, 1), QList<QByteArray>({"A"}));
    EXPECT_TRUE(reload.at(reload.size() - 4).startsWith('I'));
    EXPECT_EQ(reload.mid(reload.size() - 3), QList<QByteArray>({"B", "B", "C"}));
}

TEST_F(SessionTest, SensorThatStopsAnsweringMidReadIsReported) {
    AddListedSensor(1, 0, 1);
    session.link.PacketTimeout = 25;
    QObject::connect(&session.statusBar, &cStatusBar::changed, [this] {
        if (session.statusBar.Panel(1) == "Reading Setpoints...") {
            network.faults().drop = 1.0;
        }
    });
    view.prompter.Script(MessageAnswer::Ok);
    session.LoadSensor(1);
    EXPECT_EQ(session.LastReadFailures().size(), 180);
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_TRUE(view.prompter.asked[0].text.startsWith("180 of the requests"));
    EXPECT_TRUE(view.prompter.asked[0].text.contains("R0000"));
    EXPECT_EQ(session.sensor.ReadSetpointData(0, 0), 0) << "stored as the read found it";
}

TEST_F(SessionTest, LateAnswersNeverShiftTheRead) {
    // Values that differ from register to register and setpoint to
    // setpoint, so that a shift would show.
    SimSensor& sim = network.sensor(0);
    for (int r = 0; r < SimSensor::ParameterCount; ++r) {
        if (r != Param::Address && r != Param::BaudRate) {
            sim.setParameter(r, static_cast<std::uint16_t>(100 + r));
        }
    }
    for (int s = 0; s < SimSensor::SetpointCount; ++s) {
        for (int f = 0; f < 3; ++f) {
            sim.setSetpoint(s, f, static_cast<std::uint16_t>(1000 + 3 * s + f));
        }
    }
    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    session.StopMonitor();

    int discarded = 0;
    QObject::connect(&session.link, &cSensorLink::answerDiscarded, [&] { ++discarded; });
    network.setSeed(3);
    network.faults().late = 0.15;
    network.faults().lateMs = 35;            // 10 ms after the time-out
    view.prompter.Script(MessageAnswer::Ok); // the read's report
    view.prompter.Script(MessageAnswer::Ok); // no target without a position
    session.LoadSensor(cSession::ReloadCurrent);
    network.faults().late = 0;

    const QSet<int> unreadParameters = session.UnreadParameters();
    const QSet<int> unreadSetpoints = session.UnreadSetpoints();
    ASSERT_FALSE(session.ReadComplete());
    EXPECT_GT(discarded, 0);
    EXPECT_FALSE(unreadParameters.isEmpty() && unreadSetpoints.isEmpty());
    const QSet<int> adjusted = {
        Param::VelocityEnable, 16, 20, 41, 58, Param::CylinderType, Param::ZeroAdjust,
        Param::LoopTime};
    for (int r = 1; r <= session.sensor.MaxParameters(); ++r) {
        const std::int32_t type = session.sensor.ReadParameterData(r, 5);
        if (type == 0 || type == 8 || unreadParameters.contains(r) || adjusted.contains(r)) {
            continue;
        }
        EXPECT_EQ(session.sensor.ReadParameterData(r, 0), sim.parameter(r)) << "parameter " << r;
    }
    for (int s = 0; s < 60; ++s) {
        for (int f = 0; f < 3 && !unreadSetpoints.contains(s); ++f) {
            EXPECT_EQ(session.sensor.ReadSetpointData(s, f), sim.setpoint(s, f))
                << "setpoint " << s << " field " << f;
        }
    }
}

TEST_F(SessionTest, LostPositionAnswerSendsNoTarget) {
    // Run mode Serial: a reload ends with A, I (the position), B, B, C.
    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    session.StopMonitor();
    ASSERT_EQ(session.RunModeOption, 0);
    bool setpointsRead = false;
    QObject::connect(&session.statusBar, &cStatusBar::changed, [&] {
        setpointsRead = setpointsRead || session.statusBar.Panel(1) == "Reading Setpoints...";
        network.faults().drop = setpointsRead && session.statusBar.Panel(1) == "Ready" ? 1.0 : 0.0;
    });
    const auto before = network.log().size();
    view.prompter.Script(MessageAnswer::Ok);
    session.LoadSensor(cSession::ReloadCurrent);
    for (const QByteArray& request : Requests(before)) {
        EXPECT_FALSE(request.startsWith('I')) << request.toStdString();
    }
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_EQ(view.prompter.asked[0].title, "Target Not Set");
    EXPECT_EQ(network.sensor(0).target(), 0) << "the cylinder's target is untouched";
}

TEST_F(SessionTest, SilentSensorLeavesTheWindowOnCommunications) {
    AddListedSensor(1, 0, 9);
    session.LoadSensor(1);
    EXPECT_EQ(view.tab, Tab::Communications);
    EXPECT_EQ(session.CommLabel(), "No Response from Sensor");
    EXPECT_TRUE(session.CommLabelRed());
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_FALSE(view.tabEnabled[Tab::Graph]);
    EXPECT_EQ(session.statusBar.Panel(2), "No Sensor");
    EXPECT_FALSE(session.MonitorRunning());
}

TEST_F(SessionTest, MonitorRotationAndTabRules) {
    session.StartMonitor();
    EXPECT_FALSE(session.MonitorRunning()) << "no data loaded";
    EXPECT_EQ(session.statusBar.Panel(4), "");

    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    ASSERT_TRUE(session.MonitorRunning());
    session.MonitorTimer.stop();
    const auto before = network.log().size();
    for (int tick = 0; tick < 14; ++tick) {
        session.MonitorTick();
    }
    const QList<QByteArray> polls = Requests(before);
    EXPECT_EQ(polls, QList<QByteArray>(
                         {"A", "B", "A", "C", "A", "B", "A", "A", "B", "A", "C", "A", "B", "A"}));

    session.StartMonitor();
    view.SelectTab(Tab::Dynamics);
    EXPECT_FALSE(session.MonitorRunning());
    view.SelectTab(Tab::Monitor);
    EXPECT_TRUE(session.MonitorRunning());
}

TEST_F(SessionTest, MonitorRedrawsReadoutsOnlyOnChange) {
    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    session.MonitorTimer.stop();
    QList<ReadoutPanel> drawn;
    QObject::connect(&session, &cSession::readoutShown,
                     [&](ReadoutPanel panel, Readout, const QString&) { drawn.append(panel); });
    for (int tick = 0; tick < 7; ++tick) {
        session.MonitorTick();
    }
    EXPECT_EQ(drawn.count(ReadoutPanel::Monitor), drawn.size());
    drawn.clear();
    view.SelectTab(Tab::Dynamics);
    session.MonitorTick();
    EXPECT_TRUE(drawn.isEmpty()) << "no readout on the Dynamics tab";
}

TEST_F(SessionTest, ScanPortFindsTheSensorsAtItsSpeed) {
    session.ChoosePortOption(0);
    session.ChooseSpeedOption(0);
    session.CommApply();
    ASSERT_EQ(session.sensors.Count(), 2);
    session.sensors.setSensorNumber(1);
    EXPECT_EQ(session.sensors.Address(), 1);
    session.sensors.setSensorNumber(2);
    EXPECT_EQ(session.sensors.Address(), 3);
    EXPECT_EQ(session.sensors.Serial(), "10000003");
    EXPECT_TRUE(session.PortOptions[0].green);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(session.link.CurrentAddress, 3) << "the last one found is current";
}

TEST_F(SessionTest, ScanOfAnEmptyPortEndsWithNoSensor) {
    session.ChoosePortOption(1);
    session.ChooseSpeedOption(3);
    session.CommApply();
    EXPECT_EQ(session.sensors.Count(), 0);
    EXPECT_EQ(session.statusBar.Panel(2), "No Sensor");
    EXPECT_EQ(session.link.CurrentPort, 0);
    EXPECT_EQ(network.requestCount(), 0) << "no sensors on comm2";
}

TEST_F(SessionTest, FullScanVisitsEveryPortAndSpeed) {
    session.link.PacketTimeout = 5; // the simulator answers at once
    session.FindPorts();
    EXPECT_EQ(session.link.AvailablePorts.Map(), 0b110);
    session.FullScan();
    EXPECT_EQ(network.requestCount(), 4 * 26 + 3 + 3 * 2 + 9 + 32 + 180)
        << "one poll per empty address, two per sensor, its serial, then the read";
    ASSERT_EQ(session.sensors.Count(), 3);
    session.sensors.setSensorNumber(3);
    EXPECT_EQ(session.sensors.Address(), 5);
    EXPECT_EQ(session.sensors.BaudRate(), 1);
    EXPECT_EQ(session.link.CurrentAddress, 1) << "the first active sensor is loaded";
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::FullScan));
    EXPECT_EQ(session.statusBar.Panel(2), "Sensor #1 -(10000001) ");
}

TEST_F(SessionTest, ExcludedPortOneIsNeverOpened) {
    session.ExcludePort1 = true;
    session.FindPorts();
    EXPECT_FALSE(session.link.AvailablePorts.TestBit(1));
    EXPECT_FALSE(session.PortOptions[0].enabled);
    EXPECT_TRUE(session.PortOptions[1].enabled);
    EXPECT_EQ(session.link.CurrentPort, 2);
}

TEST_F(SessionTest, VerifySensorListMarksTheSilentOnes) {
    EXPECT_FALSE(session.VerifySensorList()) << "an empty list";
    AddListedSensor(1, 0, 1);
    AddListedSensor(1, 0, 2);
    EXPECT_FALSE(session.VerifySensorList());
    session.sensors.setSensorNumber(1);
    EXPECT_TRUE(session.sensors.Active());
    session.sensors.setSensorNumber(2);
    EXPECT_FALSE(session.sensors.Active());
    EXPECT_FALSE(view.tabEnabled[Tab::Graph]);
}

TEST_F(SessionTest, ASecondFlowNeverStartsInsideTheFirst) {
    AddListedSensor(1, 0, 3);
    session.LoadSensor(1);
    session.StopMonitor();
    bool refused = false;
    QObject::connect(&session.statusBar, &cStatusBar::changed, [&] {
        if (session.statusBar.Panel(1) == "Reading Parameters...") {
            refused = !session.RunUserFlow([&] { session.Reset(); });
        }
    });
    const auto before = network.log().size();
    EXPECT_TRUE(session.RunUserFlow([&] { session.Reset(); }));
    EXPECT_TRUE(refused);
    EXPECT_EQ(Requests(before).count("F0000"), 1) << "one read, not one inside another";
    EXPECT_EQ(session.sensor.SerialNumber(), "10000003");
    EXPECT_FALSE(session.FlowRunning());

    // Once the program ends, no flow starts and nothing is sent.
    session.Abort();
    const auto after = network.log().size();
    EXPECT_FALSE(session.RunUserFlow([&] { session.Reset(); }));
    session.LoadSensor(1);
    EXPECT_EQ(network.log().size(), after);
}

TEST_F(SessionTest, AFailedSearchKeepsTheListAndASearchKeepsTheNames) {
    session.link.CurrentPort = 1;
    session.ScanPort();
    ASSERT_EQ(session.sensors.Count(), 2);
    session.sensors.setSensorNumber(2);
    const QString serial = session.sensors.Serial();
    session.sensors.setSensorName("Press 3, left");
    session.sensors.Update();

    // The adapter is out: nothing was searched, nothing is forgotten.
    port.SimulateRemoval("comm1");
    session.ScanPort();
    ASSERT_EQ(session.sensors.Count(), 2);
    session.sensors.setSensorNumber(2);
    EXPECT_EQ(session.sensors.SensorName(), "Press 3, left");
    EXPECT_TRUE(session.CommLabelRed());

    // Back in: the sensor found again by its serial number keeps its name.
    port.SimulateReinsertion("comm1");
    session.link.CurrentPort = 1;
    session.ScanPort();
    ASSERT_EQ(session.sensors.Count(), 2);
    session.sensors.setSensorNumber(2);
    EXPECT_EQ(session.sensors.Serial(), serial);
    EXPECT_EQ(session.sensors.SensorName(), "Press 3, left");
}

TEST_F(SessionTest, ALostPortIsShownAndTheSensorIsFoundAgain) {
    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    ASSERT_TRUE(session.MonitorRunning());
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_FALSE(session.ReadoutStale(Readout::Position)) << "polled and answered";

    port.SimulateRemoval("comm1");
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    for (const Readout readout : AllReadouts) {
        EXPECT_TRUE(session.ReadoutStale(readout));
    }
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_FALSE(session.MonitorRunning());
    EXPECT_TRUE(session.CommLabelRed());
    EXPECT_TRUE(session.CommLabel().contains("comm1")) << session.CommLabel().toStdString();

    // Back in: found again, read, monitored, without a question.
    port.SimulateReinsertion("comm1");
    for (int i = 0; i < 60 && !session.MonitorRunning(); ++i) {
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_TRUE(session.MonitorRunning());
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_FALSE(session.ReconnectTimer.isActive());
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_FALSE(session.ReadoutStale(Readout::Position));
    EXPECT_TRUE(view.prompter.asked.isEmpty());
}

TEST_F(SessionTest, UnansweredPollsMarkTheirReadoutsStale) {
    AddListedSensor(1, 0, 1);
    session.LoadSensor(1);
    QEventLoop loop;
    QTimer::singleShot(700, &loop, &QEventLoop::quit);
    loop.exec();
    for (const Readout readout : AllReadouts) {
        EXPECT_FALSE(session.ReadoutStale(readout));
    }
    network.faults().drop = 1.0;
    QTimer::singleShot(900, &loop, &QEventLoop::quit);
    loop.exec();
    for (const Readout readout : AllReadouts) {
        EXPECT_TRUE(session.ReadoutStale(readout));
    }
    EXPECT_FALSE(session.link.StateFlags.TestBit(StateBit::CommOk));
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
    EXPECT_EQ(session.CommStatus().line(4).caption, "CRC ERROR");
    EXPECT_EQ(session.CommStatus().errorText(1), "1");
    session.ShowCommStatus();
    EXPECT_EQ(changed.last(), 0U) << "nothing changed, nothing redrawn";
    EXPECT_EQ(session.CommStatus().portStatus(), "Comm 1 @ 115.2K Open");
    EXPECT_EQ(session.PortOptions.Chosen(), 0) << "opening a port selects its option";
    EXPECT_TRUE(session.PortOptions[0].bold);

    network.faults().corrupt = 0.0;
    session.link.PacketTimeout = 30;
    session.link.SendCommand("D000C", 2);
    EXPECT_EQ(session.CommLabel(), "Error on Command: D");
}
