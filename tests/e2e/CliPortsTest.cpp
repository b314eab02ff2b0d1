// kelvar-cli's port listing and RS-485 settings, on a pseudo-terminal.
#include "support/Pty.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

Result Cli(const QStringList& args) {
    QProcess process;
    process.start(KELVAR_CLI_PATH, args);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// A pseudo-terminal nobody answers on, also known through a symbolic link.
class CliPortsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile::link(device, link)); }

    kelvar::test::Pty pty;
    const QString& device = pty.device;
    QTemporaryDir dir;
    QString link = dir.filePath("sensors");
};

} // namespace

TEST_F(CliPortsTest, PortsListsCommNumbersInOrderAndWhyOneDoesNotOpen) {
    // No --port is needed; mappings count. The system's own ports follow.
    const QStringList mappings{"--port", "1=" + link, "--port", "2=/nonexistent"};
    const auto listed = Cli(mappings + QStringList{"ports"});
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.err, "");
    const QString mapped = "Comm 1: " + link + " -> " + device + " (mapped)\n";
    const QString missing =
        "Comm 2: /nonexistent (mapped)\n  does not open: /nonexistent does not exist\n";
    EXPECT_TRUE(listed.out.startsWith(mapped + "  opens\n" + missing)) << listed.out.toStdString();

    // Held by another program, which is named even without a lock file of ours. The
    // descriptor is not passed on: kelvar-cli would hold the device itself.
    const int held = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const auto busy = Cli(mappings + QStringList{"ports"});
    ::close(held);
    EXPECT_TRUE(busy.out.startsWith(
        mapped +
        QStringLiteral("  does not open: %1 is held by another program: %2 (process %3)\n")
            .arg(link, QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            .arg(QCoreApplication::applicationPid()) +
        missing))
        << busy.out.toStdString();

    // With RS-485 settings, whether the port supports them.
    const auto kernel = Cli({"--rs485", "kernel", "--port", "1=" + device, "ports"});
    EXPECT_TRUE(kernel.out.startsWith("Comm 1: " + device + " (mapped)\n  does not open: " +
                                      device + " does not support the kernel's RS-485 mode " +
                                      "(TIOCSRS485: " + kelvar::test::NotATerminal() + ")\n"))
        << kernel.out.toStdString();
    EXPECT_EQ(Cli({"ports", "1"}).status, 2);
}

TEST_F(CliPortsTest, Rs485SettingsAreCheckedThenAskedOfThePort) {
    const std::pair<QStringList, QString> refusals[] = {
        {{"--rs485", "bogus"}, "--rs485: expected off, kernel or rts, got \"bogus\""},
        {{"--rs485-rts", "on"}, "--rs485-rts: expected high or low, got \"on\""},
        {{"--rs485-delay-before", "-1"}, "--rs485-delay-before: expected 0 to 1000 ms, got \"-1\""},
        {{"--rs485-delay-after", "1001"},
         "--rs485-delay-after: expected 0 to 1000 ms, got \"1001\""},
    };
    for (const auto& [options, message] : refusals) {
        const auto refused = Cli(options + QStringList{"--port", link, "send", "1", "A"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, "kelvar-cli: " + message + "\n");
        EXPECT_EQ(refused.out, "");
    }
    const auto rts = Cli({"--rs485", "rts", "--rs485-rts", "low", "--rs485-delay-before", "5",
                          "--port", link, "send", "1", "A"});
    EXPECT_EQ(rts.status, 2);
    EXPECT_EQ(rts.err, "kelvar-cli: cannot open Comm 1 @ 115.2K: " + link + " cannot switch RTS (" +
                           kelvar::test::NotATerminal() + ")\n");
}
