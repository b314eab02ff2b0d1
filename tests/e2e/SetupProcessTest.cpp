// kelvar-setup as a process: it always ends when asked.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

TEST(SetupProcess, TerminatedDuringTheStartUpReadItEndsAndSavesItsSettings) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess setup;
    setup.setProcessEnvironment(environment);
    setup.setProcessChannelMode(QProcess::MergedChannels);
    // No saved list: it searches the built-in network, then reads a sensor,
    // which takes seconds; the signal comes in the middle of that.
    setup.start(QStringLiteral(KELVAR_SETUP_PATH), {QStringLiteral("--simulate")});
    ASSERT_TRUE(setup.waitForStarted(5000));
    QThread::msleep(2500);
    ASSERT_EQ(setup.state(), QProcess::Running) << "still starting up";
    setup.terminate();
    EXPECT_TRUE(setup.waitForFinished(15000)) << "the process ends";
    EXPECT_EQ(setup.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(setup.exitCode(), 0) << setup.readAll().toStdString();
    const QFileInfoList written =
        QDir(config.filePath(QStringLiteral("Kelvar"))).entryInfoList({QStringLiteral("*.ini")});
    EXPECT_EQ(written.size(), 1) << "the settings were written";
}
