// kelvar-cli against actimar-sim through a real pseudo-terminal.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

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

    // The simulated sensor keeps its length whatever it is sent.
    const auto refused = Cli(Port() + QStringList{"param", "1", "35", "100"});
    EXPECT_EQ(refused.status, 5);
    EXPECT_TRUE(refused.err.contains("did not confirm")) << refused.err.toStdString();

    for (const QStringList& bad :
         {QStringList{"param", "1", "2", "0"}, QStringList{"param", "1", "2", "65536"},
          QStringList{"param", "1", "76"}, QStringList{"param", "1", "1", "5"},
          QStringList{"param", "1", "65", "5"}}) {
        EXPECT_EQ(Cli(Port() + bad).status, 2) << bad.join(' ').toStdString();
    }

    const auto silent = Cli(Port() + QStringList{"serial", "9"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_TRUE(silent.err.contains("no valid answer"));
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
    EXPECT_EQ(lines[0], "time_ms,position,velocity,target,status");
    EXPECT_EQ(lines[1].count(','), 4);

    const auto silent = Cli(Port() + QStringList{"read", "9"});
    EXPECT_EQ(silent.status, 3);
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

TEST_F(CliSimTest, ApplyReportsWhatTheSensorDidNotConfirm) {
    StartSim();
    const QString file = dir.filePath("sensor1.dat");
    ASSERT_EQ(Cli(Port() + QStringList{"read", "1", "--out", file}).status, 0);
    QFile data(file);
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = data.readAll().split('\n');
    data.close();
    lines[55 + 2] = "30\r"; // ADDRESS 30: no sensor takes it
    ASSERT_TRUE(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
    data.write(lines.join('\n'));
    data.close();

    const auto apply = Cli(Port() + QStringList{"apply", "1", file});
    EXPECT_EQ(apply.status, 5);
    EXPECT_TRUE(apply.err.contains("not confirmed: Address: sent 30, sensor holds 1"))
        << apply.err.toStdString();
    EXPECT_TRUE(apply.err.contains("power"));
}
