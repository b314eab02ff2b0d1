// N "A" polls through actimar-sim on a pseudo-terminal, no packet delay:
// transactions per second, mean and 99th-percentile round trip, and this
// process's CPU seconds per 1,000 transactions.

#include "BenchSupport.h"
#include "link/QtSerialPort.h"
#include "link/SensorLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvar;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 5000;

    bench::SimulatorProcess sim;
    const QString link = sim.Device();
    if (link.isEmpty()) {
        std::fprintf(stderr, "actimar-sim did not start\n");
        return 1;
    }

    cQtSerialPort port;
    cSensorLink sensorLink(port);
    sensorLink.PortNames.setDevice(1, link);
    if (!sensorLink.OpenPort(1, 0)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(sensorLink.PortErrorText()));
        return 1;
    }
    sensorLink.PacketTimeout = 100;
    sensorLink.PacketInterval = 0;

    std::vector<double> roundTrips;
    roundTrips.reserve(static_cast<std::size_t>(count));
    int unanswered = 0;
    const double cpuStart = bench::CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer one;
        one.start();
        if (sensorLink.SendCommand("A", 1).outcome != cSensorLink::Outcome::Answered) {
            ++unanswered;
        }
        roundTrips.push_back(static_cast<double>(one.nsecsElapsed()) / 1e6);
    }
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = bench::CpuSeconds() - cpuStart;

    std::sort(roundTrips.begin(), roundTrips.end());
    double sum = 0;
    for (double t : roundTrips) {
        sum += t;
    }
    const double p99 = roundTrips[static_cast<std::size_t>(0.99 * (roundTrips.size() - 1))];
    std::printf("transactions: %d (unanswered %d)\n", count, unanswered);
    std::printf("transactions per second: %.0f\n", count / seconds);
    std::printf("round trip: mean %.3f ms, 99th percentile %.3f ms\n", sum / count, p99);
    std::printf("CPU seconds per 1,000 transactions: %.3f\n", cpu * 1000.0 / count);

    return unanswered == 0 ? 0 : 1;
}
