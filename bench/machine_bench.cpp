// The time of a whole machine's backup as its ports grow: each port its own
// simulated network of sensors, the ports worked at once. Arguments: sensors
// per port (2) and port counts (1 2 4).

#include "BenchSupport.h"
#include "operations/Backup.h"
#include "operations/QuietView.h"
#include "operations/Session.h"
#include "sim/SimSerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace kelvar;

namespace {

struct Run {
    double seconds = 0;
    int complete = 0;
    int found = 0;
};

Run BackUp(int ports, int sensorsPerPort, int replyDelayMs) {
    std::vector<std::unique_ptr<sim::SimNetwork>> networks;
    sim::SimSerialPort port;
    cQuietView view;
    cSession session(port, view);
    for (int p = 1; p <= ports; ++p) {
        auto& network = *networks.emplace_back(std::make_unique<sim::SimNetwork>());
        network.setReplyDelayMs(replyDelayMs);
        for (int a = 1; a <= sensorsPerPort; ++a) {
            sim::SensorConfig config;
            config.address = a;
            config.serialNumber = QByteArray::number(p * 1000 + a);
            network.addSensor(config);
        }
        const QString device = QStringLiteral("line%1").arg(p);
        port.addDevice(device, &network);
        session.link.PortNames.setDevice(p, device);
    }
    cMachineBackup machine(session);
    QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();
    const auto result = machine.Backup(folder.path(), false);
    Run run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    for (const MachineSensor& sensor : result.sensors) {
        run.complete += sensor.complete ? 1 : 0;
    }
    run.found = static_cast<int>(result.sensors.size());
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int sensorsPerPort = argc > 1 ? std::atoi(argv[1]) : 2;
    std::vector<int> portCounts;
    for (int i = 2; i < argc; ++i) {
        portCounts.push_back(std::atoi(argv[i]));
    }
    if (portCounts.empty()) {
        portCounts = {1, 2, 4};
    }
    // About what a sensor at 115.2K takes to answer a short request.
    constexpr int ReplyDelayMs = 2;
    double onePort = 0;
    for (const int ports : portCounts) {
        const Run run = BackUp(ports, sensorsPerPort, ReplyDelayMs);
        if (onePort == 0) {
            onePort = run.seconds;
        }
        std::printf("backup of %d port(s) x %d sensors: %.2f s (%.2f x the first), %d of %d "
                    "read whole, %ld KiB resident\n",
                    ports, sensorsPerPort, run.seconds, run.seconds / onePort, run.complete,
                    run.found, bench::ResidentKiB());
    }
    return 0;
}
