// The Log tab's text and the traffic record, against the simulated network.
#include "operations/Log.h"
#include "support/Golden.h"
#include "support/SimSession.h"

#include <QDir>
#include <QFile>
#include <QLocale>
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

TEST_F(LogTest, ClearWithLoggingOffListsNoOptionsAndNoSensorIsSaid) {
    log().Options.sensorList = true;
    view.prompter.Script(MessageAnswer::No);
    log().Clear();
    ASSERT_EQ(view.prompter.asked.size(), 1);
    EXPECT_EQ(view.prompter.asked[0].title, " Enable Logging");
    EXPECT_FALSE(log().Options.enabled);
    log().Options.sensorData = true;
    log().LogSensorReport();
    EXPECT_TRUE(test::SameText(log().Text(), test::GoldenText("log-no-sensor.txt")));
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
    EXPECT_EQ(test::FileText(dir.filePath("Kelvar0002.log")), "one\r\n\r\n");
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

TEST_F(LogTest, TrafficLinesStayWholeInTimeOrderCountedFromTheClear) {
    AddSensor(2);
    session.link.PacketTimeout = 100;
    session.link.Retries = 0;
    log().SetEnabled(true);
    log().Options.communications = true;
    log().Clear();
    PauseProcessingEvents(200);
    log().SetEnabled(false);
    log().SetEnabled(true);
    network.faults().late = 1.0;
    session.link.SendCommand("A", 2); // its answer comes while sensor 1's is awaited
    network.faults() = {};
    network.setReplyDelayMs(60);
    session.link.SendCommand("A", 1);
    session.link.ReceiveChars("\001a\r\nA\003"); // a garbled frame for no request
    PauseProcessingEvents(2 * cLog::TrafficBatchMs);
    QList<double> times;
    QStringList lines;
    for (const QString& line : log().Text().split(QStringLiteral("\r\n"))) {
        if (line.contains(QStringLiteral(" ms  "))) {
            times.append(line.section(QStringLiteral(" ms  "), 0, 0).toDouble());
            lines.append(line.section(QStringLiteral(" ms  "), 1));
        }
    }
    EXPECT_EQ(lines, QStringList({"bA5BCD  no answer  time-out", "aA0E9E  aAD7000099C4  answered",
                                  "-  bAD7000051B1  wrong address",
                                  "-  a<0D><0A>A  late answer discarded"}))
        << log().Text().toStdString();
    ASSERT_FALSE(times.isEmpty());
    EXPECT_GT(times.first(), 250.0);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}
