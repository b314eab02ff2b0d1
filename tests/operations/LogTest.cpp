// The Log tab's text and the traffic record, against the simulated network.
#include "operations/Log.h"
#include "operations/Report.h"
#include "support/SimSession.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

// Sensor 1 on Comm 1, open; the report is display text in a fixed locale.
class LogTest : public test::SimSessionTest {
protected:
    LogTest() {
        QLocale::setDefault(QLocale::c());
        AddSensor(1);
        session.link.OpenPort(1, 0);
    }
    ~LogTest() override { QLocale::setDefault(QLocale::system()); }
    cLog& log() { return session.log; }
};

} // namespace

TEST_F(LogTest, ClearListsTheOptionsOnlyWhileLoggingAndKeepsCommunicationsChecked) {
    log().Options.sensorList = true;
    view.prompter.Script(MessageAnswer::No);
    log().Clear();
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_EQ(view.prompter.asked[0].title, " Enable Logging");
    EXPECT_FALSE(log().Options.enabled);
    const QStringList lines = log().Text().split("\r\n");
    EXPECT_EQ(lines[2], lines[0]) << "no option list while logging is off";
    EXPECT_TRUE(log().Text().contains("Sensor List Data\r\nNo sensor data in sensor list\r\n"));
    EXPECT_FALSE(log().Text().contains("Data & Settings")) << "Sensor Data is unchecked";

    log().SetEnabled(true);
    log().SelectAll();
    log().RuntimeData = cLog::RuntimeLine(" Sensor #1 ", 3, "Comm 1 @ 115.2K");
    session.link.AvailablePorts.SetBit(1);
    session.link.AvailablePorts.SetBit(2);
    log().Clear();
    const QString text = log().Text();
    EXPECT_TRUE(text.contains("      Program Runtime Data\r\n      Sensor List Data\r\n"
                              "      Sensor Data\r\n      Communications\r\n"));
    EXPECT_TRUE(text.contains("  Sensor #1 Address: 3 on Comm 1 @ 115.2K\r\n"));
    EXPECT_TRUE(text.contains("Map Data: 0 0000 0000 0000 0110"));
    EXPECT_TRUE(text.contains("Sensor Data\r\nNo sensor.\r\n")) << "no sensor is on line";
    EXPECT_TRUE(log().Options.communications);
}

TEST_F(LogTest, SaveProposesTheNextFreeNameAndWritesEverything) {
    QTemporaryDir dir;
    for (const char* name : {"Kelvar0000.log", "Kelvar0001.log"}) {
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    EXPECT_EQ(cLog::ProposedFileName(QDir(dir.path())), "Kelvar0002.log");
    log().AppendLog("one");
    QString error;
    ASSERT_TRUE(log().Save(dir.filePath("Kelvar0002.log"), error)) << error.toStdString();
    QFile saved(dir.filePath("Kelvar0002.log"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "one\r\n\r\n");
    EXPECT_FALSE(log().Save(dir.filePath("no/such/folder/x.log"), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(LogTest, TrafficLinesOnlyWhileCommunicationsIsChecked) {
    session.link.PacketTimeout = 30;
    session.link.Retries = 1;
    session.link.SendCommand("A", 1);
    log().SetEnabled(true);
    view.prompter.Script(MessageAnswer::Yes);
    log().SetCommunications(true);
    EXPECT_EQ(view.prompter.asked.last().title, " System Response Warning");
    session.link.SendCommand("A", 1);
    session.link.SendCommand("A", 2);
    network.faults().corrupt = 1.0;
    session.link.SendCommand("A", 1);
    network.faults() = {};
    network.faults().late = 1.0;
    network.faults().lateMs = 60;
    session.link.SendCommand("A", 1);
    network.faults() = {};
    session.link.SendCommand("A", 1); // waits out the late answer first
    PauseProcessingEvents(2 * cLog::TrafficBatchMs);
    QStringList outcomes;
    for (const QString& line : log().Text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        outcomes.append(line.section(QStringLiteral("  "), 3));
    }
    EXPECT_EQ(outcomes, QStringList({"answered", "time-out", "time-out (retry 1)", "CRC error",
                                     "CRC error (retry 1)", "time-out", "late answer discarded",
                                     "time-out (retry 1)", "late answer discarded", "answered"}));
    EXPECT_TRUE(log().Text().contains(" ms  aA0E9E  aA")) << log().Text().toStdString();
}

TEST_F(LogTest, TheSensorReportOfARead) {
    ListAndRead(1);
    log().Options.sensorData = true;
    log().LogSensorReport();
    const QString text = log().Text();
    EXPECT_TRUE(text.contains("    Sensor Length: 24.0in\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("    Extend Gain  = 500\r\n"));
    EXPECT_TRUE(text.contains("    Run Mode  = Serial\r\n"));
    EXPECT_EQ(text.count(QRegularExpression(QStringLiteral("\r\n    \\d+ +\\d"))), 60)
        << "one line per setpoint";
}

TEST_F(LogTest, BothReportsEndWithTheSensorsLinkStatistics) {
    ListAndRead(1);
    network.faults().echo = true;
    ASSERT_EQ(session.link.SendCommand("A", 1), cSensorLink::Outcome::Answered);
    const cLinkStatistics& statistics = session.link.Statistics(1);
    ASSERT_EQ(statistics.echoesSkipped, 1);
    const QString requests = QString::number(statistics.requests);

    log().Options.sensorData = true;
    log().LogSensorReport();
    const QString logText = log().Text();
    const auto at = logText.indexOf("\r\nLink Statistics\r\n");
    ASSERT_GE(at, 0) << logText.toStdString();
    const QString expected = "\r\nLink Statistics\r\n" + QString(50, u'-') +
                             "\r\n    Requests: " + requests + "\r\n    Answers: " + requests +
                             "\r\n    Time-outs: 0\r\n    CRC errors: 0\r\n"
                             "    Unknown answers: 0\r\n    Late answers discarded: 0\r\n"
                             "    Repeated answers: 0\r\n    Answers in doubt: 0\r\n"
                             "    Echoes skipped: 1\r\n    Retries: 0\r\n    Round trip: median ";
    EXPECT_EQ(logText.mid(at, expected.size()), expected);

    const QString page1 = ConfigurationReport(session, QDateTime::currentDateTime())[0];
    const auto section = page1.indexOf("\tLink Statistics\r\n");
    ASSERT_GE(section, 0) << page1.toStdString();
    const QStringList rows = page1.mid(section).split("\r\n");
    ASSERT_GE(rows.size(), 12);
    EXPECT_TRUE(rows[1].startsWith("\t\tRequests") && rows[1].endsWith("\t" + requests))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[9].startsWith("\t\tEchoes skipped") && rows[9].endsWith("\t1"))
        << rows[9].toStdString();
}
