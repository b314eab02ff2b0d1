// The flows against actimar-sim on a pseudo-terminal, default link settings:
// a full sensor read, a scan of an empty port at one speed, and the cost of
// the live monitor (CPU share of one core and resident memory).

#include "BenchSupport.h"
#include "link/QtSerialPort.h"
#include "operations/QuietView.h"
#include "operations/Session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace kelvar;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int monitorSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    bench::SimulatorProcess sim;
    const QString link = sim.Device();
    if (link.isEmpty()) {
        std::fprintf(stderr, "actimar-sim did not start\n");
        return 1;
    }

    cQtSerialPort port;
    cQuietView view;
    cSession session(port, view);
    session.link.PortNames.setDevice(1, link);
    InitParameterTable(session.sensor);
    if (!session.link.OpenPort(1, 0)) {
        std::fprintf(stderr, "cannot open the simulator: %s\n",
                     qPrintable(session.link.PortErrorText()));
        return 1;
    }

    session.ChoosePortOption(0);
    session.ChooseSpeedOption(3); // nobody listens at 19.2K
    QElapsedTimer clock;
    clock.start();
    session.search.CommApply();
    const double scanSeconds = clock.nsecsElapsed() / 1e9;

    // The scan emptied the sensor list: the one sensor goes in.
    session.sensors.setPort(1);
    session.sensors.setBaudRate(0);
    session.sensors.setAddress(1);
    session.sensors.setActive(true);
    session.sensors.Add();
    clock.restart();
    session.read.LoadSensor(1);
    const double readSeconds = clock.nsecsElapsed() / 1e9;
    const bool readOk = session.link.StateFlags.TestBit(StateBit::DataLoaded) &&
                        session.read.LastReadFailures().isEmpty();

    session.monitor.Start();
    int polls = 0;
    QObject::connect(&session.monitor, &cMonitorFlow::monitorPolled, [&] { ++polls; });
    const double cpuStart = bench::CpuSeconds();
    clock.restart();
    PauseProcessingEvents(monitorSeconds * 1000);
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = bench::CpuSeconds() - cpuStart;
    session.monitor.Stop();

    std::printf("full sensor read: %.3f s (%s)\n", readSeconds, readOk ? "complete" : "INCOMPLETE");
    std::printf("scan of an empty port at one speed: %.3f s\n", scanSeconds);
    std::printf("monitoring for %.0f s (%.1f polls per second): %.2f%% of one core, %ld KiB "
                "resident\n",
                wall, polls / wall, 100.0 * cpu / wall, bench::ResidentKiB());

    return readOk ? 0 : 1;
}
