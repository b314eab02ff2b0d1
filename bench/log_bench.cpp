// The Log tab under load, the window on its built-in network off screen:
// 100,000 traffic lines appended as fast as they come (total time and the
// longest the event loop was kept from running), then the monitor's polls
// per second with the traffic record off and on.
// Usage: log_bench [LINES] [SECONDS]

#include "BenchWindow.h"
#include "operations/Session.h"
#include "ui/AsciiSensor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>

using namespace kelvar;

namespace {

// The longest gap between two turns of the event loop while it runs `ms`.
qint64 RunMeasuringPauses(int ms, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    while (clock.elapsed() < ms && !done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return longest;
}

double PollsPerSecond(cSession& session, int seconds) {
    int polls = 0;
    const auto counting =
        QObject::connect(&session.monitor, &cMonitorFlow::monitorPolled, [&polls] { ++polls; });
    RunMeasuringPauses(seconds * 1000, [] { return false; });
    QObject::disconnect(counting);
    return polls / static_cast<double>(seconds);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;

    bench::SimulatedProgram simulated;
    if (!simulated.Start()) {
        return 1;
    }
    cApplication& program = simulated.program;
    cSession& session = program.Session();
    cLog& log = session.log;
    log.Options.enabled = true;
    log.Options.communications = true;
    session.monitor.Stop();

    // The lines arrive as transactions do, a few hundred per turn of the loop.
    const QByteArray request("aA0E9E");
    const QByteArray answer("aA00002EE000000C0F1");
    int sent = 0;
    QTimer feeder;
    feeder.setInterval(0);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int i = 0; i < 500 && sent < lines; ++i, ++sent) {
            emit session.link.transactionEnded(request, answer, cSensorLink::Outcome::Answered, 0);
        }
        if (sent >= lines) {
            feeder.stop();
        }
    });
    const qsizetype before = log.Text().size();
    QElapsedTimer total;
    total.start();
    feeder.start();
    const qint64 longest = RunMeasuringPauses(
        60000, [&] { return sent >= lines && log.Text().count(u'\n') >= lines; });
    const qint64 elapsed = total.elapsed();
    auto* view = program.Window().Control<QPlainTextEdit>(QStringLiteral("rtbLog"));
    std::printf("traffic lines appended: %d in %lld ms, longest event-loop pause %lld ms, "
                "log %lld bytes, view %d lines\n",
                lines, static_cast<long long>(elapsed), static_cast<long long>(longest),
                static_cast<long long>(log.Text().size() - before), view->blockCount());

    session.monitor.Start();
    log.Options.communications = false;
    const double off = PollsPerSecond(session, seconds);
    log.Options.communications = true;
    const double on = PollsPerSecond(session, seconds);
    std::printf("monitor polls per second: %.2f with the traffic record off, %.2f on (%+.1f %%)\n",
                off, on, 100.0 * (on - off) / off);
    program.Shutdown();
    return 0;
}
