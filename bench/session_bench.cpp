// The flows against actimar-sim on a pseudo-terminal, default link settings:
// a full sensor read, a scan of an empty port at one speed, and the cost of
// the live monitor (CPU share of one core and resident memory).

#include "link/QtSerialPort.h"
#include "operations/Session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace kelvar;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return t.tv_sec + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

class BenchView : public cView {
public:
    int VisibleTab() const override { return Tab::Monitor; }
    void SelectTab(int) override {}
    void SetTabEnabled(int, bool) override {}
    void SetTabVisible(int, bool) override {}
    bool ShowInformation(const QString&, const QString&) override { return false; }
    QString AskFileName(bool, const QString&, const QString&, const QString&,
                        const QString&) override {
        return {};
    }
    MessageAnswer Ask(const QString&, const QString&, MessageIcon, MessageButtons) override {
        return MessageAnswer::Ok;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int monitorSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sensors"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(ACTIMAR_SIM_PATH), {QStringLiteral("--link"), link});
    for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i) {
        QThread::msleep(50);
    }

    cQtSerialPort port;
    BenchView view;
    cSession session(port, view);
    session.link.PortNames.setDevice(1, link);
    InitParameterTable(session.sensor);
    if (!session.link.OpenPort(1, 0)) {
        std::fprintf(stderr, "cannot open the simulator: %s\n",
                     qPrintable(session.link.PortErrorText()));
        return 1;
    }

    session.link.ChoosePortOption(0);
    session.link.ChooseSpeedOption(3); // nobody listens at 19.2K
    QElapsedTimer clock;
    clock.start();
    session.CommApply();
    const double scanSeconds = clock.nsecsElapsed() / 1e9;

    // The scan emptied the sensor list: the one sensor goes in.
    session.sensors.setPort(1);
    session.sensors.setBaudRate(0);
    session.sensors.setAddress(1);
    session.sensors.setActive(true);
    session.sensors.Add();
    clock.restart();
    session.LoadSensor(1);
    const double readSeconds = clock.nsecsElapsed() / 1e9;
    const bool readOk = session.link.StateFlags.TestBit(StateBit::DataLoaded) &&
                        session.LastReadFailures().isEmpty();

    session.StartMonitor();
    int polls = 0;
    QObject::connect(&session.MonitorTimer, &QTimer::timeout, [&] { ++polls; });
    const double cpuStart = CpuSeconds();
    clock.restart();
    QEventLoop loop;
    QTimer::singleShot(monitorSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - cpuStart;
    session.StopMonitor();

    std::printf("full sensor read: %.3f s (%s)\n", readSeconds, readOk ? "complete" : "INCOMPLETE");
    std::printf("scan of an empty port at one speed: %.3f s\n", scanSeconds);
    std::printf("monitoring for %.0f s (%.1f polls per second): %.2f%% of one core, %ld KiB "
                "resident\n",
                wall, polls / wall, 100.0 * cpu / wall, ResidentKiB());

    sim.terminate();
    sim.waitForFinished(3000);
    return readOk ? 0 : 1;
}
