#pragma once
// The whole program off screen: on the built-in sensor network, or running on
// a line of the test's own whose traffic the test reads.
#include "model/Parameters.h"
#include "shell/Registry.h"
#include "sim/SimSerialPort.h"
#include "support/ScriptedPrompter.h"
#include "support/SimTraffic.h"
#include "support/StoredSetting.h"
#include "ui/Application.h"
#include "ui/AsciiSensor.h"

#include <QAbstractButton>
#include <QFile>
#include <QLocale>
#include <QPoint>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <functional>
#include <gtest/gtest.h>

// Request texts and pixels read as such when a comparison fails (here, so
// that every test of the binary prints them alike).
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << bytes.toStdString();
}
inline void PrintTo(const QPoint& point, std::ostream* out) {
    *out << "(" << point.x() << ", " << point.y() << ")";
}

namespace kelvar::test {

class ApplicationTest : public ::testing::Test {
protected:
    // The readouts are display texts: they follow the locale, which is fixed
    // here so that the expected texts hold everywhere.
    ApplicationTest() : registry(dir.filePath("settings.ini")) {
        options.simulate = true;
        QLocale::setDefault(QLocale::c());
    }
    ~ApplicationTest() override { QLocale::setDefault(QLocale::system()); }

    QString Stored(const QString& section, const QString& key) {
        return StoredSetting(registry.FileName(), section, key);
    }
    // The settings file as a first run on the built-in network leaves it,
    // and more: a start with it opens a sensor without searching every port.
    void WriteSettingsWithTheSensors(const QByteArray& more = {}) {
        QFile file(registry.FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[SensorList]\nSensor001=01010010000001 0\nSensor002=01030010000003 0\n"
                   "Sensor003=01050010000005 1\n" +
                   more);
    }

    QTemporaryDir dir;
    cRegistry registry;
    cAppOptions options;
    // Questions the test scripts; any other fails the test.
    ScriptedPrompter prompter;
};

// A running program on its saved sensors, its window active so that the
// focus moves as it does for a user. Its Comm 1 is `line`: the sensors of the
// built-in network, resting at 6.000, the first with travel limits 2.000 and
// 20.000 and setpoints whose targets, velocities and dwells all differ.
class RunningProgramTest : public ApplicationTest {
protected:
    explicit RunningProgramTest(const char* commandLine = "")
        : program(cAppOptions{{}, true, QString::fromLatin1(commandLine)}, registry) {}

    // The first sensor of the three.
    static sim::SimSensor& AddSensors(sim::SimNetwork& network) {
        for (const auto& [address, baud] : {std::pair{1, 115200}, {3, 115200}, {5, 57600}}) {
            sim::SensorConfig config = SensorAt(address, baud);
            config.serialNumber = QByteArray::number(10000000 + address);
            config.startCounts = 6000;
            network.addSensor(config);
        }
        sim::SimSensor& first = network.sensor(0);
        for (int i = 0; i < sim::SimSensor::SetpointCount; ++i) {
            for (const int field : {0, 1, 2}) {
                first.setSetpoint(i, field, static_cast<std::uint16_t>(TheSetpoint(i, field)));
            }
        }
        first.setParameter(Param::MinimumTravel, 2000);
        first.setParameter(Param::MaximumTravel, 20000);
        return first;
    }

    void SetUp() override {
        dynamic_cast<sim::SimSerialPort&>(session.link.Port()).addDevice("test line", &line);
        session.link.PortNames.setDevice(1, "test line");
        WriteSettingsWithTheSensors();
        window.SetPrompter(&prompter);
        ASSERT_TRUE(program.Start());
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Closed as the user does: a field that has the focus commits while the
    // session is there. Edits a test leaves go unwritten without a question,
    // as when the program is terminated.
    void TearDown() override {
        window.SetQuiet(true);
        window.close();
    }

    // Target, velocity and dwell (field 0, 1, 2) of the first sensor's setpoint i.
    static int TheSetpoint(int i, int field) {
        return std::array{2000 + 300 * i, 10 + i, i}.at(static_cast<std::size_t>(field));
    }
    // The command texts that `action` puts on the line for the first sensor
    // whose letter is one of `letters`.
    QList<QByteArray> SentBy(const std::function<void()>& action,
                             const QByteArray& letters = "ABCDFGIKLQR") {
        const std::size_t from = line.log().size();
        action();
        QList<QByteArray> sent = CommandTexts(line, from, 1);
        sent.removeIf([&letters](const QByteArray& r) { return !letters.contains(r.front()); });
        return sent;
    }

    // A click into the middle of a field, as a user puts the focus there.
    static void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
        QCoreApplication::processEvents();
    }

    sim::SimNetwork line;
    sim::SimSensor& sensor = AddSensors(line);
    cApplication program;
    AsciiSensor& window = program.Window();
    cSession& session = program.Session();
};

} // namespace kelvar::test
