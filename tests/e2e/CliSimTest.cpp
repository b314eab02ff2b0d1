// kelvar-cli against actimar-sim through a real pseudo-terminal.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Failures show the texts, not their bytes.
void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}

void PrintTo(const QJsonObject& object, std::ostream* out) {
    *out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

Result RunProgram(const QString& program, const QStringList& args, const QString& in = {}) {
    QProcess process;
    process.setWorkingDirectory(in);
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// The requests the simulator logged that change something in the sensor.
QStringList Writes(const QString& log) {
    QFile file(log);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList writes;
    // "<time> ms <address letter><command>..."
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray request = line.split(' ').value(2);
        if (request.size() > 1 && QByteArray("LQGIK").contains(request.at(1))) {
            writes.append(QString::fromLatin1(line));
        }
    }
    return writes;
}

// A PDF's text as pdftotext lays it out, each line's blanks simplified and
// blank lines left out: what differs with the font's metrics.
QString PdfText(const QString& pdf) {
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    EXPECT_TRUE(text.waitForFinished(10000) && text.exitCode() == 0)
        << "pdftotext (poppler-utils) could not read " << pdf.toStdString();
    QString lines;
    for (const QString& line : QString::fromUtf8(text.readAllStandardOutput()).split('\n')) {
        lines += line.simplified().isEmpty() ? QString() : line.simplified() + '\n';
    }
    return lines;
}

QString Golden(const QString& name) {
    QFile golden(KELVAR_GOLDEN_DIR "/" + name);
    EXPECT_TRUE(golden.open(QIODevice::ReadOnly)) << name.toStdString();
    return QString::fromUtf8(golden.readAll());
}

class CliSimTest : public ::testing::Test {
protected:
    // Sensors at 1 (115.2K) and 4 (57.6K), and what `extra` adds.
    void StartSim(const QStringList& extra = {}) {
        Start(sim, link, QStringList{"--log", log, "--sensor", "1", "--sensor", "4:57600"} + extra);
    }
    // A simulator on a pseudo-terminal of its own, reached through `path`.
    void Start(QProcess& process, const QString& path, const QStringList& args) {
        ASSERT_TRUE(dir.isValid());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(ACTIMAR_SIM_PATH, QStringList{"--link", path} + args);
        ASSERT_TRUE(process.waitForReadyRead(10000)) << "the simulator prints its device first";
        const QString device = QString::fromLocal8Bit(process.readLine()).trimmed();
        EXPECT_TRUE(device.startsWith("/dev/pts/")) << device.toStdString();
        ASSERT_EQ(QFileInfo(path).symLinkTarget(), device) << "the link is there before the path";
    }

    // The simulator ends cleanly on SIGTERM and takes its link along.
    void TearDown() override {
        for (auto [process, path] : {std::pair{&sim, link}, std::pair{&second, secondLink}}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                EXPECT_TRUE(process->waitForFinished(10000));
                EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
                EXPECT_EQ(process->exitCode(), 0);
                EXPECT_FALSE(QFileInfo(path).isSymLink());
            }
        }
    }

    // Generous time-out: the sanitizer build is slow, and the test is about
    // the answer, not its speed.
    Result Cli(const QStringList& args, const QString& timeout = "500") {
        return RunProgram(KELVAR_CLI_PATH,
                          QStringList{"--port", link, "--timeout", timeout} + args);
    }

    // kelvar-cli, which must end with `status` and say `said` on its error output.
    Result CliExits(const QStringList& args, int status, const QString& said = {},
                    const QString& timeout = "500") {
        Result result = Cli(args, timeout);
        EXPECT_EQ(result.status, status)
            << args.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(said)) << result.err.toStdString();
        return result;
    }

    // kelvar-cli --json, which must end with `status`: each line of its output parsed.
    QList<QJsonObject> CliJson(const QStringList& args, int status,
                               const QString& timeout = "500") {
        QList<QJsonObject> objects;
        for (const QString& line :
             CliExits(QStringList{"--json"} + args, status, {}, timeout).out.split('\n')) {
            if (!line.isEmpty()) {
                objects.append(Json(line));
            }
        }
        return objects;
    }
    // A JSON object's text parsed; LINK and SECOND stand for the ports' paths.
    QJsonObject Json(QString text) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(
            text.replace("SECOND", secondLink).replace("LINK", link).toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
        return document.object();
    }

    // A copy of a saved data file with some of its lines replaced (line numbers from 1).
    QString Edited(const QString& file, const QString& name,
                   const QMap<int, QByteArray>& replaced) {
        QFile data(file);
        EXPECT_TRUE(data.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = data.readAll().split('\n');
        for (auto it = replaced.begin(); it != replaced.end(); ++it) {
            lines[it.key() - 1] = it.value() + '\r';
        }
        QFile copy(dir.filePath(name));
        EXPECT_TRUE(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        copy.write(lines.join('\n'));
        return copy.fileName();
    }

    QTemporaryDir dir;
    QString link = dir.filePath("sensors");
    QString log = dir.filePath("requests.log");
    QProcess sim;
    // A second port, for a machine's commands.
    QString secondLink = dir.filePath("more-sensors");
    QProcess second;
};

} // namespace

TEST_F(CliSimTest, SendPrintsTheExchangeAndExitsByItsOutcome) {
    StartSim();
    const auto poll = CliExits({"send", "1", "A"}, 0);
    EXPECT_TRUE(QRegularExpression("^TX aA0E9E\nRX aA[^\n]*\n$").match(poll.out).hasMatch())
        << poll.out.toStdString();

    // The sensor at 4 runs at 57.6K: silent at 115.2K, answers at its speed.
    const QString traffic = dir.filePath("traffic.log");
    EXPECT_TRUE(CliExits({"--traffic", traffic, "send", "4", "A"}, 3).out.contains("RX none"));
    QFile record(traffic);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    // Each retry is a line of its own; the times differ from run to run.
    QString recorded = QString::fromLatin1(record.readAll());
    recorded.replace(
        QRegularExpression(QStringLiteral("^ *[0-9.]+ ms"), QRegularExpression::MultilineOption),
        QStringLiteral("T ms"));
    EXPECT_EQ(recorded, "T ms  dAF16B  no answer  time-out\r\n"
                        "T ms  dAF16B  no answer  time-out (retry 1)\r\n"
                        "T ms  dAF16B  no answer  time-out (retry 2)\r\n");
    EXPECT_EQ(Cli({"--baud", "57600", "send", "4", "A"}).status, 0);

    // A device named relative to the working directory is that file.
    const auto relative = RunProgram(
        KELVAR_CLI_PATH, {"--port", QFileInfo(link).fileName(), "send", "1", "A"}, dir.path());
    EXPECT_EQ(relative.status, 0) << relative.err.toStdString();
}

TEST_F(CliSimTest, UsageAndPortErrorsExitWithTwoAndOneLine) {
    EXPECT_EQ(CliExits({"send", "1", "A"}, 2, "does not exist").err.count('\n'), 1) << "one line";
    for (const QStringList& bad :
         {QStringList{"send", "1", "A"}, QStringList{"--port", "x", "send", "27", "A"},
          QStringList{"--port", "x", "--baud", "9600", "send", "1", "A"},
          QStringList{"--port", "99", "send", "1", "A"},
          QStringList{"--port", "x", "frobnicate"}}) {
        EXPECT_EQ(RunProgram(KELVAR_CLI_PATH, bad).status, 2) << bad.join(' ').toStdString();
    }
    // Sensor texts the simulator refuses are the argument fuzzer's; these are its other refusals.
    for (const QStringList& bad :
         {QStringList{"--drop", "1.5"}, QStringList{"--sensor", "3", "--sensor", "3"},
          QStringList{"--frobnicate"}}) {
        const auto sim = RunProgram(ACTIMAR_SIM_PATH, bad);
        EXPECT_EQ(sim.status, 2) << bad.join(' ').toStdString();
        EXPECT_EQ(sim.err.count('\n'), 1) << sim.err.toStdString();
    }
}

TEST_F(CliSimTest, IdentityParameterAndSerialOverTheSameLink) {
    StartSim({"--sensor", "2:115200,serial=987654321012,res=0.0005,units=mm,model=KX-7"});
    const auto identity = CliExits({"identity", "2"}, 0);
    for (const char* line :
         {"Model: KX-7\n", "SerialNumber: 987654321012\n", "Resolution: 0.0005\n", "Units: mm\n"}) {
        EXPECT_TRUE(identity.out.contains(line)) << identity.out.toStdString();
    }
    EXPECT_EQ(Cli({"serial", "2"}).out, "987654321012\n");

    EXPECT_EQ(Cli({"param", "1", "2"}).out, "2 Extend Gain: 500\n");
    const auto written = CliExits({"param", "1", "2", "600"}, 0);
    EXPECT_EQ(written.out, "2 Extend Gain: 600\n");
    EXPECT_EQ(Cli({"param", "1", "33", "-1"}).out, "33 Zero Adjust: -1\n");

    CliExits({"param", "1", "35", "100"}, 2, "parameter 35 Sensor Length is read-only");
    for (const QStringList& bad :
         {QStringList{"param", "1", "2", "0"}, QStringList{"param", "1", "2", "65536"},
          QStringList{"param", "1", "76"}}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad.join(' ').toStdString();
    }
    EXPECT_EQ(Writes(log).filter(" aL").size(), 2) << "the refused values were never sent";

    // The unanswered request is named, for what it asks.
    CliExits({"serial", "9"}, 3, "F0020 (identity characters 33 to 38): no answer within 500 ms");
}

TEST_F(CliSimTest, ScanReadAndMonitorOverTheSessionFlows) {
    StartSim();
    // Empty addresses cost a time-out each: keep it short for the scans.
    const auto scan = CliExits({"scan"}, 0, {}, "60");
    EXPECT_EQ(scan.out, "1 115200 1 10000001\n");
    EXPECT_EQ(Cli({"scan", "--all-speeds"}, "60").out, "1 115200 1 10000001\n1 57600 4 10000004\n");

    const auto read = CliExits({"read", "1"}, 0);
    EXPECT_TRUE(read.out.startsWith("Model: AM-1000\n"));
    EXPECT_TRUE(read.out.contains("\n2 Extend Gain: 500\n"));
    EXPECT_TRUE(read.out.contains("\nSetpoint 1: ") && read.out.contains("\nSetpoint 60: ") &&
                !read.out.contains("\nSetpoint 0: "));

    const auto monitor = CliExits({"monitor", "1", "--count", "3", "--csv"}, 0);
    const QStringList lines = monitor.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "time_ms,poll,position,velocity,target,status,error");
    EXPECT_EQ(lines[1].section(',', 1, 1), "A");
    EXPECT_EQ(lines[1].section(',', 3, 4), ",") << "an A answer says nothing of velocity or target";

    CliExits({"read", "9"}, 3, "sensor 9 does not answer");

    // The report as a PDF, without a display, paged as the printout.
    const QString pdf = dir.filePath("report.pdf");
    CliExits({"report", "1", "--pdf", pdf}, 0);
    const QString printed = PdfText(pdf);
    EXPECT_TRUE(printed.contains("10000001") && printed.contains("(Page: 1 of 2)") &&
                printed.contains("(Page: 2 of 2)") && printed.contains("SetPoint Information"))
        << printed.toStdString();
}

TEST_F(CliSimTest, JsonCarriesWhatTheTextPrintsAndErrorsKeepTheirStatus) {
    StartSim();
    EXPECT_EQ(CliJson({"scan"}, 0, "60"),
              QList{Json(R"({"port": 1, "device": "LINK", "exit_status": 0,
                  "sensors": [{"address": 1, "speed": 115200, "serial": "10000001"}]})")});

    QJsonObject read = CliJson({"read", "1"}, 0).value(0);
    const QJsonArray parameters = read.take("parameters").toArray();
    const QJsonArray setpoints = read.take("setpoints").toArray();
    EXPECT_EQ(read, Json(R"({"model": "AM-1000", "firmware_date": "Mar 5, 2004",
        "firmware_version": "2.4", "serial": "10000001", "resolution": 0.001, "units": "in",
        "exit_status": 0})"));
    ASSERT_EQ(parameters.size(), 32);
    // A check box, a length and an option; the last setpoint.
    EXPECT_EQ(QJsonObject({{"p", QJsonArray{parameters[17], parameters[18], parameters[25]}},
                           {"s", setpoints.last()}}),
              Json(R"({"p": [
        {"register": 20, "name": "Drive Polarity", "value": 0, "text": "Normal"},
        {"register": 30, "name": "Minimum Travel", "value": 50, "text": "0.050 in"},
        {"register": 56, "name": "Baud Rate", "value": 4, "text": "115.2K"}], "s":
        {"setpoint": 60, "target": 23607, "target_text": "23.607", "velocity": 20,
         "velocity_text": "0.20", "dwell": 10, "dwell_text": "0.10"}})"));

    const QList<QJsonObject> polls = CliJson({"monitor", "1", "--count", "2"}, 0);
    ASSERT_EQ(polls.size(), 2);
    QJsonObject poll = polls[1];
    EXPECT_TRUE(poll.take("time_ms").isDouble());
    EXPECT_EQ(poll, Json(R"({"poll": "B", "position": null, "velocity": null, "target": 0,
                             "status": null, "error": null})"));

    EXPECT_EQ(CliJson({"read", "9"}, 3),
              QList{Json(R"({"error": "sensor 9 does not answer: no answer within 500 ms",
                             "exit_status": 3})")});
}

TEST_F(CliSimTest, DataFilesAreCheckedBeforeAnythingIsWrittenAndApplyWritesTheDifferences) {
    StartSim();
    const QString good = dir.filePath("good.dat");
    const auto read = Cli({"read", "1", "--out", good});
    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    EXPECT_EQ(Cli({"diff", "1", good}).status, 0) << "a faithful copy";

    // A speed the sensor cannot have is refused outright, even with --force.
    CliExits({"apply", "1", Edited(good, "bad.dat", {{59, "9"}}), "--force"}, 2,
             "Line 59: Baud Rate is 9, outside its limits 1 to 4");
    // Odd values and another address are named, and without --force nothing is loaded.
    const QString odd = Edited(good, "odd.dat", {{23, "5"}, {58, "7"}, {91, "65535"}});
    const auto refused = CliExits({"apply", "1", odd}, 2);
    for (const char* text :
         {"Line 23: Drive Polarity is 5, outside its limits 0 to 1",
          "Line 58: the file's Address is 7, the sensor's is 1",
          "Line 91: setpoint 4 target is 65535, outside its limits", "--force"}) {
        EXPECT_TRUE(refused.err.contains(text)) << text << '\n' << refused.err.toStdString();
    }
    EXPECT_FALSE(refused.err.contains('\r'));
    EXPECT_TRUE(Writes(log).isEmpty()) << Writes(log).join('\n').toStdString();

    // With --force what is outside its limits is named and not written; the rest is.
    const QString fixed = Edited(good, "fixed.dat", {{23, "5"}, {5, "600"}});
    CliExits({"apply", "1", fixed, "--force"}, 5,
             "Drive Polarity: 5, not written: outside its limits 0 to 1");
    const QJsonObject forced = CliJson({"apply", "1", fixed, "--force"}, 5).value(0);
    EXPECT_EQ(forced["writes"][0]["confirmed"], QJsonValue(false));
    EXPECT_EQ(forced["writes"][0]["not_confirmed"].toString(),
              "not written: outside its limits 0 to 1");

    // A file that differs in a value: diff shows it against the sensor, apply writes it.
    const QString gain = Edited(good, "gain.dat", {{5, "700"}});
    EXPECT_EQ(CliExits({"diff", "1", gain}, 1).out, "Extend Gain: 600 -> 700\n");
    EXPECT_EQ(Cli({"diff", "1", gain, "--raw"}).out, "Extend Gain: 600 700\n");
    QJsonObject write = Json(R"({"item": "Extend Gain", "parameter": 2, "setpoint": null,
        "field": null, "held": 600, "held_text": "600", "value": 700, "value_text": "700",
        "text": "Extend Gain: 600 -> 700", "power_cycle": null, "not_written": null})");
    EXPECT_EQ(CliJson({"diff", "1", gain}, 1),
              (QList{QJsonObject{{"writes", QJsonArray{write}}, {"exit_status", 1}}}));
    write.insert("confirmed", true);
    write.insert("not_confirmed", QJsonValue::Null);
    EXPECT_EQ(CliJson({"apply", "1", gain}, 0), (QList{QJsonObject{{"writes", QJsonArray{write}},
                                                                   {"power_cycle_needed", false},
                                                                   {"exit_status", 0}}}));
    EXPECT_EQ(Cli({"param", "1", "2"}).out, "2 Extend Gain: 700\n");
}

TEST_F(CliSimTest, APartialReadIsNeverSavedNorApplied) {
    // 2 checks, 9 identity requests, then the line goes dead among the parameters.
    StartSim({"--silent-after", "20"});
    const QString file = dir.filePath("partial.dat");
    const auto read = CliExits({"read", "1", "--out", file}, 3, "no data file written", "30");
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(read.out.contains("\n12 Velocity Enable: (not read)\n")) << read.out.toStdString();
    // The read fails before the file is looked at.
    CliExits({"apply", "1", file}, 3, "nothing compared or written", "30");
    EXPECT_TRUE(Writes(log).isEmpty());
    EXPECT_EQ(Cli({"diff", "2", file}, "30").err,
              "kelvar-cli: sensor 2 does not answer: no answer within 30 ms\n"
              "kelvar-cli: nothing compared or written: the read of sensor 2 was incomplete\n");

    // As JSON, what was not read is null, and the document names the failure.
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    StartSim({"--silent-after", "20"});
    const QJsonObject partial = CliJson({"read", "1"}, 3, "30").value(0);
    EXPECT_EQ(partial["parameters"][10].toObject(),
              Json(R"({"register": 12, "name": "Velocity Enable", "value": null, "text": null})"));
    EXPECT_TRUE(partial["error"].toString().startsWith("Sensor Read Incomplete: 203 of the"));
}

TEST_F(CliSimTest, CorruptAnswersExitWithFour) {
    StartSim({"--corrupt", "1"});
    // One command of each way to an exit status: one request, a few, a whole read.
    for (const QStringList& command :
         {QStringList{"send", "1", "A"}, QStringList{"serial", "1"}, QStringList{"read", "1"}}) {
        CliExits(command, 4, "bad answer");
    }
}

TEST_F(CliSimTest, MonitorMarksLostPollsAndStopsWhenThePortGoes) {
    // The line goes dead after the read (223 requests) and a few polls.
    StartSim({"--silent-after", "230"});
    QProcess monitor;
    monitor.start(KELVAR_CLI_PATH,
                  {"--port", link, "--timeout", "500", "monitor", "1", "--count", "100000"});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    QByteArray out;
    for (int i = 0; i < 300 && !out.contains("A no answer: no answer within"); ++i) {
        monitor.waitForReadyRead(100);
        out += monitor.readAllStandardOutput();
    }
    EXPECT_TRUE(out.startsWith("A ")) << out.toStdString();
    sim.terminate();
    ASSERT_TRUE(monitor.waitForFinished(10000)) << "the monitor ends when the port goes";
    EXPECT_EQ(monitor.exitCode(), 2);
    EXPECT_TRUE(monitor.readAllStandardError().contains("monitor of sensor 1 stopped"));
}

TEST_F(CliSimTest, GotoMovesToASetpointAndWaitsUntilItIsInPosition) {
    StartSim();
    // Setpoint 1 lies 393 counts out, at 0.20 in/sec: about two seconds away.
    const auto arrived = CliExits({"goto", "1", "1"}, 0);
    const QStringList lines = arrived.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 1) << arrived.out.toStdString();
    EXPECT_EQ(lines.filter("in position").size(), 1);
    const QString last = lines.last();
    EXPECT_TRUE(last.startsWith("A position ") && last.contains(", target 0.393 in, velocity ") &&
                last.endsWith(" in/sec, in position"))
        << last.toStdString();
    EXPECT_GE(last.section(' ', 2, 2).toDouble(), 0.333) << "within the window of 60 counts";
    const QStringList moves = Writes(log);
    ASSERT_EQ(moves.size(), 2) << moves.join('\n').toStdString();
    EXPECT_TRUE(moves[0].contains(" aK0014") && moves[1].contains(" aI0189"));

    // Setpoint 30 lies 11.8 in away: not within a second.
    const QJsonObject late = CliJson({"goto", "1", "30", "--timeout", "1"}, 6).value(0);
    EXPECT_FALSE(late["polls"].toArray().last()["values"].toString().contains("in position"));
    EXPECT_EQ(late["outcome"].toString() + ": " + late["reason"].toString(),
              "timed_out: Sensor 1 did not report setpoint 30 in position within 1 s; the "
              "cylinder keeps that target.");

    const qsizetype writes = Writes(log).size();
    for (const QStringList& bad :
         {QStringList{"goto", "1", "0"}, QStringList{"goto", "1", "61"}, QStringList{"goto", "1"},
          QStringList{"goto", "1", "5", "--timeout", "1e9"}}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad.join(' ').toStdString();
    }
    EXPECT_EQ(Writes(log).size(), writes) << "nothing sent for a refused goto";

    // Setpoint 59 lies beyond a maximum travel of 12.000 in.
    ASSERT_EQ(Cli({"param", "1", "31", "12000"}).status, 0);
    const qsizetype before = Writes(log).size();
    EXPECT_EQ(CliExits({"goto", "1", "59"}, 2).err,
              "kelvar-cli: The target of setpoint 59, 23.213 in, lies outside the "
              "travel limits 0.050 in to 12.000 in or past the sensor's length "
              "24.000 in. Nothing was sent; --force sends it.\n");
    EXPECT_EQ(Writes(log).size(), before);
    EXPECT_EQ(Cli({"goto", "1", "59", "--force", "--timeout", "0.1"}).status, 6);
    EXPECT_EQ(Writes(log).filter(" aI5AAD").size(), 1) << "sent as without the limits";
}

TEST_F(CliSimTest, GotoGivesUpWhenTheSensorFallsSilent) {
    // The line goes dead after the read (223 requests), the move (K, I, B, C) and three polls.
    StartSim({"--silent-after", "230"});
    const auto silent = CliExits({"goto", "1", "30"}, 3, "stopped answering", "200");
    EXPECT_EQ(silent.out.count(": no answer within"), 5) << silent.out.toStdString();
}

TEST_F(CliSimTest, AnEchoingRepeatingLineReadsWholeAndTheFiguresSaySo) {
    StartSim({"--sensor", "3", "--echo", "--repeat", "0.05"});
    const QString traffic = dir.filePath("traffic.log");
    const QString file = dir.filePath("one.dat");
    // Each answer a repeat puts in doubt is asked again and waits a time-out for a
    // quiet line: a time-out long enough for a machine loaded by the other tests
    // (200 ms was not) and short enough for three reads, repeats enough that some put answers in
    // doubt, and retries enough that an answer asked again is not put in doubt every time.
    const auto read =
        Cli({"--retries", "5", "--stats", "--traffic", traffic, "read", "1", "--out", file}, "300");
    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    const QRegularExpression figure(
        QStringLiteral("sensor 1 link statistics:\n  Requests: (\\d+)\n  Answers: \\d+\n"
                       "(?:  .*\n){6}  Echoes skipped: (\\d+)\n  Retries: (\\d+)\n"
                       "  Round trip: median [0-9.]+ ms, worst [0-9.]+ ms\n"));
    const auto match = figure.match(read.err);
    ASSERT_TRUE(match.hasMatch()) << read.err.toStdString();
    EXPECT_EQ(match.captured(2), match.captured(1)) << "every request came back once";
    EXPECT_GT(match.captured(3).toInt(), 0) << "repeats put answers in doubt";
    QFile record(traffic);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    const QString recorded = QString::fromLatin1(record.readAll());
    EXPECT_TRUE(recorded.contains("echo of the request skipped"));
    EXPECT_TRUE(recorded.contains("(retry 1)"));
    const auto same = Cli({"--retries", "5", "diff", "1", file}, "300");
    EXPECT_EQ(same.status, 0) << "the file holds what the sensor holds: " << same.err.toStdString();

    // Sensor 3 already answers at the address the file would give sensor 1.
    CliExits({"--retries", "5", "apply", "1", Edited(file, "three.dat", {{58, "3"}}), "--force"}, 2,
             "Another sensor already answers at address 3", "300");
    EXPECT_TRUE(Writes(log).isEmpty()) << Writes(log).join('\n').toStdString();

    const auto none = CliExits({"--baud", "38400", "scan"}, 3, "no sensor answered", "60");
    EXPECT_TRUE(none.err.contains("--all-speeds")) << none.err.toStdString();
}

TEST_F(CliSimTest, AnApplyWhoseReadAfterwardsMissesAnswersExitsThree) {
    // 223 requests for the file, 223 for apply's own read and 33 for its
    // writes: the line goes dead early in the read after them.
    StartSim({"--silent-after", "503"});
    const QString good = dir.filePath("good.dat");
    ASSERT_EQ(Cli({"read", "1", "--out", good}).status, 0);
    const auto apply = CliExits({"apply", "1", Edited(good, "gain.dat", {{5, "700"}})}, 3,
                                "Sensor 1 stopped answering", "30");
    EXPECT_EQ(apply.out, "Extend Gain: 500 -> 700\n");
    EXPECT_FALSE(apply.err.contains("not confirmed")) << apply.err.toStdString();
}

// The folder of a machine's backup: its files, and its manifest with what
// differs from run to run (time, version, round trips) left out.
QString Backed(const QString& folder) {
    QFile file(folder + "/manifest.json");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject manifest = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_TRUE(QDateTime::fromString(manifest.take("time").toString(), Qt::ISODate).isValid());
    EXPECT_TRUE(manifest.take("program_version").isString());
    QJsonArray sensors;
    for (const QJsonValue& value : manifest.take("sensors").toArray()) {
        QJsonObject sensor = value.toObject();
        QJsonObject statistics = sensor.take("statistics").toObject();
        EXPECT_TRUE(statistics.take("median_round_trip_ms").isDouble());
        EXPECT_TRUE(statistics.take("worst_round_trip_ms").isDouble());
        sensor.insert("statistics", statistics);
        sensors.append(sensor);
    }
    manifest.insert("sensors", sensors);
    return QDir(folder).entryList(QDir::Files).join('\n') + '\n' +
           QString::fromUtf8(QJsonDocument(manifest).toJson());
}

TEST_F(CliSimTest, ABackupOfTwoPortsIsVerifiedSensorBySensor) {
    StartSim();
    Start(second, secondLink, {"--log", secondLink + ".log", "--sensor", "2:38400"});
    const QString folder = dir.filePath("machine");
    const QStringList ports{"--port", "2=" + secondLink};
    const auto backup = Cli(ports + QStringList{"--json", "backup", folder}, "60");
    EXPECT_EQ(backup.status, 0) << backup.err.toStdString();
    QFile written(folder + "/manifest.json");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(Json(backup.out),
              QJsonObject({{"folder", folder},
                           {"manifest", QJsonDocument::fromJson(written.readAll()).object()},
                           {"exit_status", 0}}));
    const QString date = QDate::currentDate().toString("yyyyMMdd");
    const QString where[] = {"Comm 1 " + link + " 115200 address 1 serial 10000001",
                             "Comm 1 " + link + " 57600 address 4 serial 10000004",
                             "Comm 2 " + secondLink + " 38400 address 2 serial 10000002"};
    // The ports are worked at once: their lines come in any order.
    QStringList said = backup.err.split('\n');
    said.sort();
    EXPECT_EQ(said.join('\n'), QString("\nkelvar-cli: %1: saved to \"10000001 %4.dat\"\n"
                                       "kelvar-cli: %2: saved to \"10000004 %4.dat\"\n"
                                       "kelvar-cli: %3: saved to \"10000002 %4.dat\"")
                                   .arg(where[0], where[1], where[2], date));
    EXPECT_EQ(Backed(folder), Golden("backup.txt")
                                  .replace("DATE", date)
                                  .replace("SECOND", secondLink)
                                  .replace("FIRST", link));

    // A value of the saved file changed: restoring it would write it back.
    const QString saved = folder + "/10000004 " + date + ".dat";
    const QString edited = Edited(saved, "gain.dat", {{5, "700"}});
    ASSERT_TRUE(QFile::remove(saved) && QFile::rename(edited, saved));
    const auto changed = Cli(ports + QStringList{"verify", folder}, "60");
    EXPECT_EQ(changed.status, 1) << changed.err.toStdString();
    EXPECT_EQ(changed.out, where[0] + ": same\n" + where[1] +
                               ": differs\n  Extend Gain: 500 -> "
                               "700\n" +
                               where[2] + ": same\n");

    // The manifest lacks sensor 1, and the port of sensor 2 is not mapped.
    QFile manifest(folder + "/manifest.json");
    ASSERT_TRUE(manifest.open(QIODevice::ReadWrite));
    QJsonObject listed = QJsonDocument::fromJson(manifest.readAll()).object();
    QJsonArray sensors = listed.value("sensors").toArray();
    sensors.removeFirst();
    listed.insert("sensors", sensors);
    manifest.resize(0);
    manifest.write(QJsonDocument(listed).toJson());
    manifest.close();
    const auto missing = Cli({"verify", folder}, "60");
    EXPECT_EQ(missing.status, 3) << missing.err.toStdString();
    EXPECT_EQ(missing.out, where[1] + ": differs\n  Extend Gain: 500 -> 700\nnot found: " +
                               where[2] + "\nnot in the backup: " + where[0] + "\n");
    const QJsonObject verified = CliJson({"verify", folder}, 3, "60").value(0);
    EXPECT_EQ(verified["sensors"][0]["differences"][0]["text"].toString(),
              "Extend Gain: 500 -> 700");
    EXPECT_EQ(verified["sensors"][1].toObject(), Json(R"({"found": null, "state": "not_found",
        "listed": {"port": 2, "device": "SECOND", "speed": 38400, "address": 2,
                   "serial": "10000002"}, "problem": null, "differences": []})"));
    EXPECT_EQ(verified["unlisted"][0].toObject(), Json(R"({"port": 1, "device": "LINK",
        "speed": 115200, "address": 1, "serial": "10000001"})"));
}

TEST_F(CliSimTest, AFolderThatHoldsNoBackupIsRefusedBeforeAnythingIsSent) {
    StartSim();
    const QString folder = dir.filePath("machine");
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto refusal = [&](const QString& command, const QByteArray& manifest) {
        QFile file(folder + "/manifest.json");
        EXPECT_TRUE(manifest.isNull() || (file.open(QIODevice::WriteOnly) && file.write(manifest)));
        file.close();
        const auto refused = Cli({command, folder});
        EXPECT_EQ(refused.status, 2);
        return refused.err;
    };
    const QString cli = "kelvar-cli: " + folder;
    EXPECT_EQ(refusal("verify", {}), cli + " holds no manifest.json\n");
    EXPECT_EQ(refusal("verify", R"({"sensors": [)"),
              cli + "/manifest.json does not parse: unterminated array at character 13\n");
    EXPECT_EQ(
        refusal("verify", R"({"sensors": [{"serial": "10000001", "file": "10000001 a.dat"}]})"),
        cli + "/10000001 a.dat, listed for sensor 10000001, is missing\n");
    QFile other(folder + "/10000004 a.dat");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    EXPECT_EQ(
        refusal("verify", R"({"sensors": [{"serial": "10000001", "file": "10000004 a.dat"}]})"),
        cli + "/10000004 a.dat is listed for sensor 10000001, whose serial number its name "
              "does not carry\n");
    EXPECT_EQ(refusal("restore", {}), cli + "/10000004 a.dat is listed for sensor 10000001, whose "
                                            "serial number its name does not carry\n");
    ASSERT_TRUE(QDir(folder).mkdir("10000001 b") &&
                QFile(folder + "/10000001 b/c.dat").open(QIODevice::WriteOnly));
    EXPECT_EQ(
        refusal("verify", R"({"sensors": [{"serial": "10000001", "file": "10000001 b/c.dat"}]})"),
        "kelvar-cli: 10000001 b/c.dat, listed for sensor 10000001, is not a file of the folder\n");
    EXPECT_EQ(refusal("backup", {}), cli + " holds a backup already\n");
    EXPECT_EQ(QFileInfo(log).size(), 0) << "nothing was sent";
}

TEST_F(CliSimTest, ASensorReadIncompleteIsListedWithoutAFile) {
    // The search and sensor 1 take 333 requests: the line goes dead in the read of sensor 4.
    StartSim({"--silent-after", "500"});
    const QString folder = dir.filePath("machine");
    const auto backup = Cli({"backup", folder}, "30");
    EXPECT_EQ(backup.status, 3) << backup.err.toStdString();
    EXPECT_TRUE(
        backup.err.endsWith("57600 address 4 serial 10000004: read incomplete, not saved\n"))
        << backup.err.toStdString();
    const QString date = QDate::currentDate().toString("yyyyMMdd");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              QStringList({"10000001 " + date + ".dat", "manifest.json"}));
    QFile file(folder + "/manifest.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject last = QJsonDocument::fromJson(file.readAll())
                                 .object()
                                 .value("sensors")
                                 .toArray()
                                 .last()
                                 .toObject();
    EXPECT_EQ(last.value("complete"), QJsonValue(false));
    EXPECT_EQ(last.value("file"), QJsonValue(QJsonValue::Null));
}

TEST_F(CliSimTest, ARestoreWritesBackWhatDiffersAndADryRunOnlyShowsIt) {
    StartSim();
    const QString folder = dir.filePath("machine");
    ASSERT_EQ(Cli({"backup", folder}, "60").status, 0);
    ASSERT_EQ(Cli({"--baud", "57600", "param", "4", "2", "600"}).status, 0);
    // Its read holds the target at the position (I); values are written with L and Q.
    const auto values = [&] {
        return Writes(log).filter(QRegularExpression(" [a-z][LQ]"));
    };
    const QStringList written = values();
    const QString same = "Comm 1 " + link + " 115200 address 1 serial 10000001: same\n";
    const QString where = "Comm 1 " + link + " 57600 address 4 serial 10000004";
    const QString plan = same + where + ": differs\n  Extend Gain: 600 -> 500\n";
    EXPECT_EQ(CliExits({"restore", folder, "--dry-run"}, 1, {}, "60").out, plan);
    QJsonObject dry = CliJson({"restore", folder, "--dry-run"}, 1, "60").value(0);
    QJsonObject changed = dry.value("sensors").toArray().at(1).toObject();
    EXPECT_EQ(changed.take("differences").toArray().at(0).toObject().value("text"),
              "Extend Gain: 600 -> 500");
    changed.remove("listed");
    changed.remove("found");
    EXPECT_EQ(changed, Json(R"({"state": "differs", "problem": null, "replacement": false,
                                "written": false, "restored": false, "not_confirmed": []})"));
    EXPECT_EQ(values(), written) << "a dry run writes nothing";
    EXPECT_EQ(CliExits({"restore", folder}, 0, {}, "60").out, plan + where + ": restored\n");
    EXPECT_EQ(CliExits({"verify", folder}, 0, {}, "60").out, same + where + ": same\n");
}

TEST_F(CliSimTest, ASensorReplacedGetsTheFileOfTheOneItReplacesOnlyWhenTold) {
    StartSim();
    const QString folder = dir.filePath("machine");
    ASSERT_EQ(Cli({"--baud", "57600", "param", "4", "2", "600"}).status, 0);
    ASSERT_EQ(Cli({"backup", folder}, "60").status, 0);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    Start(sim, link, {"--log", log, "--sensor", "1", "--sensor", "4:57600,serial=20000004"});
    const QString same = "Comm 1 " + link + " 115200 address 1 serial 10000001: same\n";
    const QString where =
        "Comm 1 " + link + " 57600 address 4 serial 20000004 in place of 10000004";
    EXPECT_EQ(CliExits({"restore", folder}, 2, {}, "60").out,
              same + where + ": not restored: it replaces 10000004 of the backup; restore " +
                  "--replace 10000004 restores that file to it\n");
    EXPECT_TRUE(Writes(log).isEmpty()) << Writes(log).join('\n').toStdString();
    EXPECT_EQ(CliExits({"restore", folder, "--replace", "10000004"}, 0, {}, "60").out,
              same + where + ": differs\n  Extend Gain: 500 -> 600\n" + where + ": restored\n");

    QFile manifest(folder + "/manifest.json");
    ASSERT_TRUE(manifest.open(QIODevice::ReadWrite));
    const QByteArray models = manifest.readAll().replace("\"AM-1000\"", "\"KX-7\"");
    manifest.resize(0);
    manifest.write(models);
    manifest.close();
    const QString model =
        ": not restored: its model is AM-1000, the backup's file is of model KX-7\n";
    EXPECT_EQ(CliExits({"restore", folder, "--replace", "10000004"}, 2, {}, "60").out,
              same.chopped(7) + model + where + model);
}

TEST_F(CliSimTest, TheServiceRecordNamesWhatChangedAndWhatARestoreLeftUnconfirmed) {
    StartSim();
    Start(second, secondLink, {"--log", secondLink + ".log", "--sensor", "2:38400"});
    const QStringList ports{"--port", "2=" + secondLink};
    const QString before = dir.filePath("before");
    const QString after = dir.filePath("after");
    const QString pdf = dir.filePath("record.pdf");
    ASSERT_EQ(Cli(ports + QStringList{"backup", before}, "60").status, 0);
    ASSERT_EQ(Cli({"--baud", "57600", "param", "4", "2", "600"}).status, 0);
    // The paper's text with what differs from run to run left out.
    const auto record = [&](const QStringList& args) {
        CliExits(ports + QStringList{"service-report", "--before", before, "--pdf", pdf} + args, 0,
                 {}, "60");
        return PdfText(pdf)
            .replace(QRegularExpression("\\d\\d-\\w{3}-\\d\\d( \\d\\d:\\d\\d:\\d\\d)?"), "TIME")
            .replace(QRegularExpression("round trip [0-9.]+ ms"), "round trip T ms")
            .replace(before, "BEFORE")
            .replace(after, "AFTER")
            .replace(secondLink, "SECOND")
            .replace(link, "FIRST");
    };
    const QString asLeftNow = Golden("service-record.txt");
    EXPECT_EQ(record({}), asLeftNow);
    ASSERT_EQ(Cli(ports + QStringList{"backup", after}, "60").status, 0);
    EXPECT_EQ(record({"--after", after, "--engineer", "A. Smith"}),
              QString(asLeftNow)
                  .replace("the sensors as read for this record", "the backup of TIME in\nAFTER")
                  .replace(QString(30, '_'), "A. Smith"));

    // The file of the changed sensor gets a value outside its limits: restore
    // writes back the rest, not that one, and the record keeps it.
    const QString file = before + "/10000004 " + QDate::currentDate().toString("yyyyMMdd") + ".dat";
    const QString edited = Edited(file, "polarity.dat", {{23, "5"}});
    ASSERT_TRUE(QFile::remove(file) && QFile::rename(edited, file));
    const auto restore = CliJson(ports + QStringList{"restore", before, "--force"}, 5, "60");
    QFile restored(before + "/restored.json");
    ASSERT_TRUE(restored.open(QIODevice::ReadWrite));
    EXPECT_EQ(QList{QJsonDocument::fromJson(restored.readAll()).object()}, restore);
    EXPECT_EQ(record({"--after", after}), Golden("service-record-restored.txt"));
    ASSERT_TRUE(restored.resize(0) && restored.write("{") == 1);
    restored.close();
    EXPECT_EQ(record({"--after", after}).section("\nSensor 10000001", 0, 0).section("AFTER\n", 1),
              "Restore: restored.json does not parse: unterminated object");
    // The record of a restore does not outlive the backup it was made from.
    ASSERT_EQ(Cli(ports + QStringList{"backup", before, "--force"}, "60").status, 0);
    EXPECT_FALSE(QFile::exists(before + "/restored.json"));
}
