// Start-up, settings and shutdown against the in-process simulated network.
#include "shell/Startup.h"
#include "shell/Registry.h"
#include "support/FileSizeLimit.h"
#include "support/SimSession.h"
#include "support/StoredSetting.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

// A sensor at 2 on Comm 1, serial number 1234; the settings file of its own.
class StartupTest : public test::SimSessionTest {
protected:
    StartupTest() : registry(dir.filePath("settings.ini")) {
        SensorConfig config = test::SensorAt(2);
        config.serialNumber = "1234";
        network.addSensor(config);
    }

    QString Stored(const QString& section, const QString& key) {
        return test::StoredSetting(registry.FileName(), section, key);
    }

    void Store(const QString& section, const QString& key, const QString& value) {
        registry.setSection(section);
        registry.setKey(key);
        registry.setSetting(value);
        ASSERT_TRUE(registry.RegSave());
    }

    bool Start(const QString& commandLine = {}) {
        StartupFindPorts(session, state, commandLine);
        StartupReadSettings(session, registry, state);
        return StartupOpenSensor(session);
    }

    QTemporaryDir dir;
    cRegistry registry;
    cShellState state;
};

} // namespace

// The columns of an ordinary record are checked where start-up reads the
// list and shutdown writes it.
TEST(SensorRecord, OverlongSerialNumbersAndRubbish) {
    // A serial number too long for ten digits is kept whole.
    const SensorRecord big = ParseSensorRecord(SensorRecordText(1, 5, "987654321012", 2, "x"));
    EXPECT_EQ(big.serial, "987654321012");
    EXPECT_EQ(big.speedIndex, 2);
    EXPECT_EQ(big.name, "x");
    // Rubbish gives a record that no sensor answers to, not a crash.
    const SensorRecord junk = ParseSensorRecord("zz");
    EXPECT_EQ(junk.port, 0);
    EXPECT_EQ(junk.serial, "0");
}

// A first start searches every port that opens, at every speed.
TEST_F(StartupTest, CleanProfileTakesEveryDefaultAndFindsTheSensor) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(session.link.CurrentPort, 1);
    EXPECT_EQ(session.link.BaudIndex, 0);
    EXPECT_EQ(session.link.PacketInterval, 0);
    EXPECT_EQ(session.link.PacketTimeout, 25);
    EXPECT_EQ(view.tab, Tab::Monitor);
    EXPECT_EQ(session.CommStatus().portStatus(), "Comm 1 @ 115.2K Open");
}

// With no sensor found, each port shows its own state, never the last one tried.
TEST_F(StartupTest, CleanProfileWithNoSensorShowsEachPortsOwnState) {
    network.faults().drop = 1.0;
    ASSERT_TRUE(Start());
    EXPECT_EQ(view.tab, Tab::Communications);
    EXPECT_EQ(session.CommStatus().portStatus(), "Comm 1 @ 115.2K Closed");
    EXPECT_FALSE(session.CommLabelRed());
    session.ChoosePortOption(15);
    EXPECT_EQ(session.CommStatus().portStatus(), "Error - Comm 16 @ 115.2K");
    EXPECT_TRUE(session.CommLabelRed());
    session.ChoosePortOption(0);
    EXPECT_FALSE(session.CommLabelRed());
}

TEST_F(StartupTest, SavedSensorIsCheckedAndRead) {
    Store("SensorList", "Sensor001", "01020000001234 0Axis 1");
    Store("Settings", "PacketTimeout", "3");
    ASSERT_TRUE(Start());
    EXPECT_EQ(session.link.PacketTimeout, 40);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(view.tab, Tab::Monitor);
    EXPECT_TRUE(session.monitor.Running());
    EXPECT_EQ(session.statusBar.Panel(2), "Sensor #1 -(1234) ");
    EXPECT_EQ(test::CommandTexts(network).mid(0, 3), QList<QByteArray>({"A", "A", "F0000"}));
    // The list is still in the store while the program runs.
    EXPECT_EQ(Stored("SensorList", "Sensor001"), "01020000001234 0Axis 1");
}

TEST_F(StartupTest, ShutdownWritesEverythingAndDropsStaleSensors) {
    Store("SensorList", "Sensor001", "01020000001234 0Axis 1");
    Store("SensorList", "Sensor002", "01090000000009 0Gone");
    Store("SensorList", "Sensor003", "01110000000011 0Gone too");
    ASSERT_TRUE(Start());
    ASSERT_EQ(session.sensors.Count(), 3);
    // A new search finds only the one sensor: the list shrinks to it, and
    // the sensor found again keeps its name.
    session.link.PacketTimeout = 5;
    session.ChoosePortOption(0);
    session.ChooseSpeedOption(0);
    session.search.CommApply();
    ASSERT_EQ(session.sensors.Count(), 1);
    state.Top = 220;
    session.log.Options.enabled = true;
    session.link.Retries = 4;
    port.setLineDriver({cLineDriver::Mode::Rts, false, 3, 5});

    // The settings are written in one go: stopped one byte short of the new
    // file, the shutdown leaves the old one whole and says so.
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    cRegistry trial(dir.filePath("trial.ini"));
    ASSERT_TRUE(QFile::copy(registry.FileName(), trial.FileName()));
    ASSERT_TRUE(Shutdown(session, trial, state).isEmpty());
    const QByteArray before = contents(registry.FileName());
    QStringList errors;
    {
        const test::FileSizeLimit stop(QFileInfo(trial.FileName()).size() - 1);
        ASSERT_TRUE(stop.active);
        errors = Shutdown(session, registry, state);
    }
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(contents(registry.FileName()), before);

    EXPECT_TRUE(Shutdown(session, registry, state).isEmpty());
    EXPECT_EQ(contents(registry.FileName()), contents(trial.FileName()));
    const std::tuple<const char*, const char*, const char*> stored[] = {
        {"Startup", "Top", "220"},
        {"Menu", "Logging", "1"},
        {"Menu", "Search", "1"},
        {"Settings", "SensorAddress", "2"},
        {"Communications", "Retries", "4"},
        {"Communications", "RS485Mode", "rts"},
        {"Communications", "RS485RtsOnSend", "low"},
        {"Communications", "RS485DelayBefore", "3"},
        {"Communications", "RS485DelayAfter", "5"},
        {"SensorList", "Sensor001", "01020000001234 0Axis 1"},
        {"SensorList", "Sensor002", ""},
        {"SensorList", "Sensor003", ""},
        {"Menu", "Calibrate", ""}, // not written without /cal
    };
    for (const auto& [section, key, value] : stored) {
        EXPECT_EQ(Stored(section, key), value) << section << "/" << key;
    }
}

TEST_F(StartupTest, SettingsAreCheckedAsTheyAreRead) {
    Store("Settings", "SensorAddress", "27");
    Store("Menu", "Search", "yes");
    Store("Menu", "Calibrate", "0");
    Store("Information", "Information 03", "0");
    Store("Startup", "Top", "not a number");
    Store("SensorList", "Sensor001", "01020000001234 0");
    Store("SensorList", "Sensor003", "01030000000003 0");
    Store("Communications", "Retries", "12");
    Store("Communications", "RS485Mode", "Kernel ");
    Store("Communications", "RS485RtsOnSend", "sideways");
    Store("Communications", "RS485DelayAfter", "1001");
    ASSERT_TRUE(Start());
    EXPECT_EQ(session.link.Retries, cSensorLink::MaxRetries);
    // Each field that reads is taken; the others keep their defaults.
    EXPECT_EQ(port.lineDriver(), (cLineDriver{cLineDriver::Mode::Kernel, true, 0, 0}));
    EXPECT_EQ(Stored("Settings", "SensorAddress"), "0");
    EXPECT_FALSE(state.AutoSearch) << "anything but \"1\" is unchecked";
    EXPECT_TRUE(state.Calibrate) << "not read without /cal";
    EXPECT_FALSE(state.Information[3]);
    EXPECT_TRUE(state.Information[2]);
    EXPECT_EQ(state.Top, 100);
    EXPECT_EQ(session.sensors.Count(), 1) << "the list ends at the first missing key";
}

TEST_F(StartupTest, CalibrationSwitchAndExcludedPort) {
    Store("Menu", "Calibrate", "1");
    port.addDevice("comm2", nullptr);
    session.link.PortNames.setDevice(2, "comm2");
    ASSERT_TRUE(Start("KELVAR.EXE /CAL /EX"));
    EXPECT_TRUE(view.tabVisible[Tab::Calibration]);
    EXPECT_EQ(session.link.CurrentPort, 2);

    // "/cal" counts by its beginning ("/cal1", "/calx"), "/ex" only whole.
    const std::tuple<const char*, bool, bool> cases[] = {
        {"--port 1=/tmp/x/extty --port 2=/tmp/calibration/tty", false, false},
        {"/Ex /cal1", true, true},
        {"/calx /extra", false, true},
    };
    for (const auto& [commandLine, excludePort1, calibration] : cases) {
        cShellState fresh;
        StartupFindPorts(session, fresh, commandLine);
        StartupReadSettings(session, registry, fresh);
        EXPECT_EQ(session.search.ExcludePort1(), excludePort1) << commandLine;
        EXPECT_EQ(session.calibration.CalibrationMode(), calibration) << commandLine;
    }
}

TEST_F(StartupTest, NoPortAtAllEndsWithTheFatalMessage) {
    session.link.PortNames.setDevice(1, "nothing");
    view.prompter.Script(MessageAnswer::Ok);
    EXPECT_FALSE(Start());
    ASSERT_EQ(view.prompter.asked.size(), 1);
    // The fixed text, then why each port that was there or named failed.
    EXPECT_TRUE(view.prompter.asked[0].text.endsWith("\r\n\r\nComm 1: nothing does not exist"));
    EXPECT_TRUE(Shutdown(session, registry, state).isEmpty());
    EXPECT_EQ(Stored("Communications", "Port"), "1");
}
