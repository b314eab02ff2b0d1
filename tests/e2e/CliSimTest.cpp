// kelvar-cli against actimar-sim through a real pseudo-terminal.
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace {

class CliSimTest : public ::testing::Test {
protected:
    void StartSim(const QStringList& extra = {}) {
        ASSERT_TRUE(dir.isValid());
        link = dir.filePath(QStringLiteral("sensors"));
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(QStringLiteral(ACTIMAR_SIM_PATH),
                  QStringList{QStringLiteral("--link"), link, QStringLiteral("--sensor"),
                              QStringLiteral("1"), QStringLiteral("--sensor"),
                              QStringLiteral("4:57600")} +
                      extra);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(sim.waitForReadyRead(10000)) << "the simulator prints its device first";
        device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(QFileInfo::exists(link));
    }

    ~CliSimTest() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(5000);
        }
    }

    struct Result {
        int status;
        QString out;
        QString err;
    };

    Result Cli(const QStringList& args) {
        QProcess cli;
        cli.start(QStringLiteral(KELVAR_CLI_PATH), args);
        EXPECT_TRUE(cli.waitForFinished(30000));
        return {cli.exitCode(), QString::fromLocal8Bit(cli.readAllStandardOutput()),
                QString::fromLocal8Bit(cli.readAllStandardError())};
    }

    // Generous time-out: the sanitizer build is slow, and the test is about
    // the answer, not its speed.
    QStringList Port() const {
        return {QStringLiteral("--port"), link, QStringLiteral("--timeout"), QStringLiteral("500")};
    }

    QTemporaryDir dir;
    QString link;
    QString device;
    QProcess sim;
};

} // namespace

TEST_F(CliSimTest, SendsARequestAndPrintsTheAnswer) {
    StartSim();
    EXPECT_TRUE(device.startsWith(QStringLiteral("/dev/pts/"))) << device.toStdString();

    const auto poll = Cli(Port() + QStringList{"send", "1", "A"});
    EXPECT_EQ(poll.status, 0) << poll.err.toStdString();
    const QStringList lines = poll.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << poll.out.toStdString();
    EXPECT_EQ(lines[0], "TX aA0E9E");
    EXPECT_TRUE(lines[1].startsWith("RX aA")) << lines[1].toStdString();
    EXPECT_EQ(lines[1].size(), 3 + 12);

    const auto param = Cli(Port() + QStringList{"send", "1", "D0002"});
    EXPECT_EQ(param.status, 0);
    EXPECT_TRUE(param.out.contains("RX aD")) << param.out.toStdString();

    // The sensor at 4 runs at 57.6K: silent at 115.2K, answers at its speed.
    const auto wrongSpeed = Cli(Port() + QStringList{"send", "4", "A"});
    EXPECT_EQ(wrongSpeed.status, 3);
    EXPECT_TRUE(wrongSpeed.out.contains("RX none"));
    const auto rightSpeed = Cli(Port() + QStringList{"--baud", "57600", "send", "4", "A"});
    EXPECT_EQ(rightSpeed.status, 0) << rightSpeed.err.toStdString();
}

TEST_F(CliSimTest, CorruptAnswerExitsWithFour) {
    StartSim({QStringLiteral("--corrupt"), QStringLiteral("1")});
    const auto result = Cli(Port() + QStringList{"send", "1", "A"});
    EXPECT_EQ(result.status, 4);
    EXPECT_TRUE(result.out.contains("RX aA"));
}

TEST_F(CliSimTest, UsageAndPortErrorsExitWithTwo) {
    const auto noPort = Cli({"send", "1", "A"});
    EXPECT_EQ(noPort.status, 2);
    const auto missing = Cli({"--port", dir.filePath("nothing-here"), "send", "1", "A"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.contains("does not exist")) << missing.err.toStdString();
    EXPECT_EQ(missing.err.count('\n'), 1) << "one line";
    for (const QStringList& bad :
         {QStringList{"--port", "x", "send", "27", "A"}, QStringList{"--port", "x", "send", "1"},
          QStringList{"--port", "x", "--baud", "9600", "send", "1", "A"},
          QStringList{"--port", "x", "--timeout", "-5", "send", "1", "A"},
          QStringList{"--port", "99", "send", "1", "A"},
          QStringList{"--port", "x", "frobnicate"}}) {
        EXPECT_EQ(Cli(bad).status, 2) << bad.join(' ').toStdString();
    }
}

TEST_F(CliSimTest, PortHeldByAnotherProgramIsToldApart) {
    StartSim();
    QProcess holder;
    // A second kelvar-cli waits on the port while the first holds it: keep
    // one open with a long request to a silent address.
    holder.start(QStringLiteral(KELVAR_CLI_PATH),
                 {QStringLiteral("--port"), link, QStringLiteral("--timeout"),
                  QStringLiteral("3000"), QStringLiteral("send"), QStringLiteral("9"),
                  QStringLiteral("A")});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(500);
    const auto second = Cli(Port() + QStringList{"send", "1", "A"});
    holder.waitForFinished(10000);
    EXPECT_EQ(second.status, 2);
    EXPECT_TRUE(second.err.contains("held by another program")) << second.err.toStdString();
}

TEST_F(CliSimTest, IdentityParameterAndSerialOverTheSameLink) {
    StartSim({QStringLiteral("--sensor"),
              QStringLiteral("2:115200,serial=987654321012,res=0.0005,units=mm,model=KX-7")});
    const auto identity = Cli(Port() + QStringList{"identity", "2"});
    EXPECT_EQ(identity.status, 0) << identity.err.toStdString();
    EXPECT_TRUE(identity.out.contains("Model: KX-7\n")) << identity.out.toStdString();
    EXPECT_TRUE(identity.out.contains("SerialNumber: 987654321012\n"));
    EXPECT_TRUE(identity.out.contains("Resolution: 0.0005\n"));
    EXPECT_TRUE(identity.out.contains("Units: mm\n"));
    EXPECT_TRUE(identity.out.contains("FirmwareDate: "));
    EXPECT_TRUE(identity.out.contains("Version: "));

    const auto serial = Cli(Port() + QStringList{"serial", "2"});
    EXPECT_EQ(serial.status, 0);
    EXPECT_EQ(serial.out, "987654321012\n");

    const auto gain = Cli(Port() + QStringList{"param", "1", "2"});
    EXPECT_EQ(gain.status, 0) << gain.err.toStdString();
    EXPECT_EQ(gain.out, "2 Extend Gain: 500\n");

    const auto written = Cli(Port() + QStringList{"param", "1", "2", "600"});
    EXPECT_EQ(written.status, 0) << written.err.toStdString();
    EXPECT_EQ(written.out, "2 Extend Gain: 600\n");
    EXPECT_EQ(Cli(Port() + QStringList{"param", "1", "2"}).out, "2 Extend Gain: 600\n");

    const auto zeroAdjust = Cli(Port() + QStringList{"param", "1", "33", "-1"});
    EXPECT_EQ(zeroAdjust.status, 0) << zeroAdjust.err.toStdString();
    EXPECT_EQ(zeroAdjust.out, "33 Zero Adjust: -1\n");

    // The sensor's length is read-only: never written.
    const auto refused = Cli(Port() + QStringList{"param", "1", "35", "100"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("parameter 35 Sensor Length is read-only"))
        << refused.err.toStdString();

    for (const QStringList& bad :
         {QStringList{"param", "1", "2", "0"}, QStringList{"param", "1", "2", "65536"},
          QStringList{"param", "1", "76"}, QStringList{"param", "1", "1", "5"},
          QStringList{"param", "1", "65", "5"}}) {
        EXPECT_EQ(Cli(Port() + bad).status, 2) << bad.join(' ').toStdString();
    }

    const auto silent = Cli(Port() + QStringList{"serial", "9"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_TRUE(
        silent.err.contains("F0020 (identity characters 33 to 38): no answer within 500 ms"))
        << silent.err.toStdString();
}

TEST_F(CliSimTest, ScanReadAndMonitorOverTheSessionFlows) {
    StartSim();
    // Empty addresses cost a time-out each: keep it short for the scans.
    const QStringList quick = {"--port", link, "--timeout", "60"};
    const auto scan = Cli(quick + QStringList{"scan"});
    EXPECT_EQ(scan.status, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.out, "1 115200 1 10000001\n");
    const auto all = Cli(quick + QStringList{"scan", "--all-speeds"});
    EXPECT_EQ(all.out, "1 115200 1 10000001\n1 57600 4 10000004\n");

    const auto read = Cli(Port() + QStringList{"read", "1"});
    EXPECT_EQ(read.status, 0) << read.err.toStdString();
    EXPECT_TRUE(read.out.startsWith("Model: AM-1000\n"));
    EXPECT_TRUE(read.out.contains("\n2 Extend Gain: 500\n"));
    EXPECT_TRUE(read.out.contains("\nSetpoint 59: "));

    const auto monitor = Cli(Port() + QStringList{"monitor", "1", "--count", "3", "--csv"});
    EXPECT_EQ(monitor.status, 0) << monitor.err.toStdString();
    const QStringList lines = monitor.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "time_ms,poll,position,velocity,target,status,error");
    EXPECT_EQ(lines[1].section(',', 1, 1), "A");
    EXPECT_EQ(lines[1].section(',', 3, 4), ",") << "an A answer says nothing of velocity or target";

    const auto silent = Cli(Port() + QStringList{"read", "9"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_TRUE(silent.err.contains("sensor 9 does not answer")) << silent.err.toStdString();
    EXPECT_EQ(Cli(Port() + QStringList{"monitor", "1", "--count", "0"}).status, 2);
}

TEST_F(CliSimTest, DataFileReadDiffAndApply) {
    StartSim();
    const QString file = dir.filePath("sensor1.dat");
    const auto read = Cli(Port() + QStringList{"read", "1", "--out", file});
    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    EXPECT_EQ(Cli(Port() + QStringList{"diff", "1", file}).status, 0) << "a faithful copy";

    // The gain in the file differs from the sensor's: diff shows it, apply writes it.
    QFile data(file);
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = data.readAll().split('\n');
    data.close();
    ASSERT_GT(lines.size(), 4);
    lines[4] = "600\r"; // parameter 2, after "777ASCII", "1", the count and parameter 1
    ASSERT_TRUE(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
    data.write(lines.join('\n'));
    data.close();

    const auto diff = Cli(Port() + QStringList{"diff", "1", file});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out, "Extend Gain: 500 600\n");
    const auto apply = Cli(Port() + QStringList{"apply", "1", file});
    EXPECT_EQ(apply.status, 0) << apply.err.toStdString();
    EXPECT_EQ(Cli(Port() + QStringList{"param", "1", "2"}).out, "2 Extend Gain: 600\n");
    EXPECT_EQ(Cli(Port() + QStringList{"diff", "1", file}).status, 0);
}

namespace {

// A saved data file with some of its lines replaced (line numbers from 1).
void EditLines(const QString& file, const QMap<int, QByteArray>& replaced) {
    QFile data(file);
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = data.readAll().split('\n');
    data.close();
    for (auto it = replaced.begin(); it != replaced.end(); ++it) {
        lines[it.key() - 1] = it.value() + '\r';
    }
    ASSERT_TRUE(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
    data.write(lines.join('\n'));
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

} // namespace

TEST_F(CliSimTest, DataFilesAreCheckedBeforeAnythingIsWritten) {
    const QString log = dir.filePath("requests.log");
    StartSim({QStringLiteral("--log"), log});
    const QString good = dir.filePath("good.dat");
    ASSERT_EQ(Cli(Port() + QStringList{"read", "1", "--out", good}).status, 0);
    const auto copy = [&](const QString& name, const QMap<int, QByteArray>& lines) {
        const QString path = dir.filePath(name);
        QFile::copy(good, path);
        EditLines(path, lines);
        return path;
    };

    // An address or speed the sensor cannot have is refused outright.
    for (const auto& [line, value, text] :
         {std::tuple{58, "0", "Line 58: Address is 0, outside its limits 1 to 26"},
          std::tuple{58, "99", "Line 58: Address is 99, outside its limits 1 to 26"},
          std::tuple{59, "9", "Line 59: Baud Rate is 9, outside its limits 1 to 4"}}) {
        const auto apply =
            Cli(Port() + QStringList{"apply", "1", copy("bad.dat", {{line, value}}), "--force"});
        EXPECT_EQ(apply.status, 2);
        EXPECT_TRUE(apply.err.contains(text)) << apply.err.toStdString();
        QFile::remove(dir.filePath("bad.dat"));
    }
    // Other odd values, another address, a word, a cut-short file: named,
    // and without --force nothing is loaded.
    const QString odd = copy("odd.dat", {{23, "5"}, {17, "999"}, {58, "7"}, {82 + 9, "65535"}});
    const auto refused = Cli(Port() + QStringList{"apply", "1", odd});
    EXPECT_EQ(refused.status, 2);
    for (const char* text :
         {"Line 23: Drive Polarity is 5, outside its limits 0 to 1",
          "Line 17: Extend Drive Limit is 999, outside its limits 1 to 255",
          "Line 58: the file's Address is 7, the sensor's is 1",
          "Line 91: setpoint 3 target is 65535, outside its limits", "--force"}) {
        EXPECT_TRUE(refused.err.contains(text)) << text << '\n' << refused.err.toStdString();
    }
    EXPECT_FALSE(refused.err.contains('\r'));
    const auto word = Cli(Port() + QStringList{"diff", "1", copy("word.dat", {{5, "abc"}})});
    EXPECT_EQ(word.status, 2);
    EXPECT_TRUE(word.err.contains("Line 5")) << word.err.toStdString();
    EXPECT_TRUE(Writes(log).isEmpty()) << Writes(log).join('\n').toStdString();

    // With --force the review names what will not be written, and it is not.
    const auto forced = Cli(Port() + QStringList{"diff", "1", odd, "--force"});
    EXPECT_EQ(forced.status, 1);
    EXPECT_TRUE(
        forced.out.contains("Address: 1 7  <- changes how the sensor is reached or runs\n"));
    EXPECT_TRUE(forced.out.contains(
        "Drive Polarity: 0 5  (will not be written: outside its limits 0 to 1)\n"));
    const QString fixed = copy("fixed.dat", {{23, "5"}, {5, "600"}});
    const auto applied = Cli(Port() + QStringList{"apply", "1", fixed, "--force"});
    EXPECT_EQ(applied.status, 5) << applied.err.toStdString();
    EXPECT_TRUE(applied.err.contains("Drive Polarity: 5, not written: outside its limits 0 to 1"));
    EXPECT_EQ(Cli(Port() + QStringList{"param", "1", "20"}).out, "20 Drive Polarity: 0\n");
    EXPECT_EQ(Cli(Port() + QStringList{"param", "1", "2"}).out, "2 Extend Gain: 600\n");

    // Only a regular file is read: a FIFO would hang, /dev/zero never ends.
    const QString fifo = dir.filePath("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const auto special = Cli(Port() + QStringList{"diff", "1", path});
        EXPECT_EQ(special.status, 2);
        EXPECT_TRUE(special.err.contains("not a regular file")) << special.err.toStdString();
    }
}

TEST_F(CliSimTest, APartialReadIsNeverSavedNorApplied) {
    // 2 checks, 9 identity requests, then the line goes dead among the parameters.
    const QString log = dir.filePath("requests.log");
    StartSim(
        {QStringLiteral("--silent-after"), QStringLiteral("20"), QStringLiteral("--log"), log});
    const QStringList port = {"--port", link, "--timeout", "30"};
    const QString file = dir.filePath("partial.dat");
    const auto read = Cli(port + QStringList{"read", "1", "--out", file});
    EXPECT_EQ(read.status, 3);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(read.err.contains("no data file written")) << read.err.toStdString();
    EXPECT_TRUE(read.out.contains("\n12 Velocity Enable: (not read)\n")) << read.out.toStdString();

    QFile data(file);
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("777ASCII\r\n");
    data.close();
    const auto apply = Cli(port + QStringList{"apply", "1", file});
    EXPECT_EQ(apply.status, 3);
    EXPECT_TRUE(apply.err.contains("nothing compared or written")) << apply.err.toStdString();
    EXPECT_TRUE(Writes(log).isEmpty());
}

TEST_F(CliSimTest, CorruptAnswersExitWithFourFromEveryCommand) {
    StartSim({QStringLiteral("--corrupt"), QStringLiteral("1")});
    for (const QStringList& command :
         {QStringList{"identity", "1"}, QStringList{"serial", "1"}, QStringList{"param", "1", "2"},
          QStringList{"read", "1"}, QStringList{"monitor", "1", "--count", "2"}}) {
        const auto result = Cli(Port() + command);
        EXPECT_EQ(result.status, 4) << command.join(' ').toStdString() << '\n'
                                    << result.err.toStdString();
        EXPECT_TRUE(result.err.contains("bad answer")) << result.err.toStdString();
    }
}

TEST_F(CliSimTest, MonitorMarksLostPollsAndStopsWhenThePortGoes) {
    // The line goes dead after the read (223 requests) and a few polls.
    StartSim({QStringLiteral("--silent-after"), QStringLiteral("230")});
    QProcess monitor;
    monitor.start(QStringLiteral(KELVAR_CLI_PATH),
                  Port() + QStringList{"monitor", "1", "--count", "100000"});
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
