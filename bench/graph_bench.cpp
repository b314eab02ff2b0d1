// The graph running, the window on its built-in network off screen with a
// chart 1,200 pixels wide: the share of one core, resident memory at the
// start and at the end, and the median time between samples.
// With "monitor" the monitor polls at the graph's pace but nothing is drawn:
// what the chart itself costs is the difference.
// Usage: graph_bench [SECONDS] [monitor]

#include "BenchSupport.h"
#include "BenchWindow.h"
#include "operations/Session.h"
#include "ui/AsciiSensor.h"
#include "ui/StripChart.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvar;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

    bench::SimulatedProgram simulated;
    if (!simulated.Start()) {
        return 1;
    }
    cApplication& program = simulated.program;
    AsciiSensor& window = program.Window();
    cSession& session = program.Session();
    window.Control<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(Tab::Graph);
    auto* chart = window.Control<cStripChart>(QStringLiteral("TimeBase"));
    for (int i = 0; i < 5 && chart->contentsRect().width() != 1200; ++i) {
        window.resize(window.width() + 1200 - chart->contentsRect().width(), window.height());
        QCoreApplication::processEvents();
    }

    std::vector<qint64> stamps;
    stamps.reserve(static_cast<std::size_t>(seconds) * 40);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&session.graph, &cGraphFlow::graphDrawn,
                     [&stamps, &clock] { stamps.push_back(clock.nsecsElapsed()); });
    const bool monitorOnly = argc > 2 && QByteArray(argv[2]) == "monitor";
    if (monitorOnly) {
        QObject::connect(&session.monitor, &cMonitorFlow::monitorPolled,
                         [&stamps, &clock] { stamps.push_back(clock.nsecsElapsed()); });
        session.monitor.Stop();
        session.monitor.SetIntervalMs(cMonitorFlow::GraphIntervalMs);
        session.monitor.Start();
    } else {
        window.Control<QAbstractButton>(QStringLiteral("cmdStartGraph"))->click();
    }
    if (!session.graph.Running() && !monitorOnly) {
        std::fprintf(stderr, "the graph did not start\n");
        return 1;
    }
    // Settled: the first sweep's allocations are made.
    PauseProcessingEvents(1000);
    stamps.clear();
    const long rssStart = bench::ResidentKiB();
    const double cpuStart = bench::CpuSeconds();
    const qint64 wallStart = clock.nsecsElapsed();
    PauseProcessingEvents(seconds * 1000);
    const double wall = static_cast<double>(clock.nsecsElapsed() - wallStart) / 1e9;
    const double cpu = bench::CpuSeconds() - cpuStart;
    const long rssEnd = bench::ResidentKiB();

    std::vector<double> intervals;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        intervals.push_back(static_cast<double>(stamps[i] - stamps[i - 1]) / 1e6);
    }
    std::sort(intervals.begin(), intervals.end());
    const double median = intervals.empty() ? 0 : intervals[intervals.size() / 2];
    std::printf("graphing %.1f s, chart %d px wide: %zu samples, median interval %.2f ms, "
                "share of one core %.2f %%, resident memory %.1f MB at the start, %.1f MB at "
                "the end (%+.2f MB)\n",
                wall, chart->contentsRect().width(), stamps.size(), median, 100.0 * cpu / wall,
                rssStart / 1024.0, rssEnd / 1024.0, (rssEnd - rssStart) / 1024.0);
    program.Shutdown();
    return 0;
}
