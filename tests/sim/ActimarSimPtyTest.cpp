// The built actimar-sim, reached through its pseudo-terminal as a client
// program would reach it.
#include "sim/SimWire.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace kelvar::sim;

namespace {

// Opens the device raw at 115200 baud; -1 on failure.
int OpenRaw(const QString& device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B115200);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

// Reads up to and including the first ETX; empty when none comes.
QByteArray ReadFrame(int fd) {
    QByteArray bytes;
    while (!bytes.contains(wire::Etx)) {
        pollfd wait{fd, POLLIN, 0};
        // The bound keeps a broken simulator from hanging the test.
        if (::poll(&wait, 1, 10000) != 1) {
            return {};
        }
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return {};
        }
        bytes.append(buffer, n);
    }
    return bytes;
}

QString LastLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return QString::fromUtf8(lines.back());
}

} // namespace

TEST(ActimarSim, AnswersOnItsPseudoTerminalAndCleansUpOnSigterm) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("actimar"));
    const QString log = dir.filePath(QStringLiteral("requests.log"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(ACTIMAR_SIM_PATH),
              {QStringLiteral("--link"), link, QStringLiteral("--log"), log,
               QStringLiteral("--sensor"), QStringLiteral("2:115200,serial=42")});
    ASSERT_TRUE(sim.waitForReadyRead(10000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    EXPECT_TRUE(device.startsWith(QStringLiteral("/dev/pts/"))) << device.toStdString();
    ASSERT_EQ(QFileInfo(link).symLinkTarget(), device) << "the link is there before the path";

    for (int client = 0; client < 2; ++client) {
        const int fd = OpenRaw(link);
        ASSERT_GE(fd, 0);
        const QByteArray request = wire::Frame(wire::Stx, "bA");
        ASSERT_EQ(::write(fd, request.constData(), static_cast<size_t>(request.size())),
                  request.size());
        const QByteArray answer = ReadFrame(fd);
        ::close(fd);
        ASSERT_FALSE(answer.isEmpty()) << "client " << client;
        EXPECT_EQ(answer.front(), wire::Soh);
        EXPECT_EQ(answer.mid(1, 2), "bA");
        EXPECT_TRUE(wire::CrcMatches(wire::Soh, answer.mid(1, answer.size() - 2)));
        EXPECT_TRUE(LastLine(log).contains("bA") && LastLine(log).contains("answered"))
            << LastLine(log).toStdString();
    }

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(ActimarSim, BadOptionsExitWithTwoAndOneLine) {
    for (const QStringList& args : {QStringList{QStringLiteral("--drop"), QStringLiteral("1.5")},
                                    QStringList{QStringLiteral("--sensor"), QStringLiteral("27")},
                                    QStringList{QStringLiteral("--sensor"), QStringLiteral("3"),
                                                QStringLiteral("--sensor"), QStringLiteral("3")},
                                    QStringList{QStringLiteral("--seed"), QStringLiteral("-1")},
                                    QStringList{QStringLiteral("--frobnicate")}}) {
        QProcess sim;
        sim.start(QStringLiteral(ACTIMAR_SIM_PATH), args);
        ASSERT_TRUE(sim.waitForFinished(10000));
        const QString err = QString::fromLocal8Bit(sim.readAllStandardError());
        EXPECT_EQ(sim.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty());
    }
}
