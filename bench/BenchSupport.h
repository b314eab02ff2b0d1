#pragma once

// What the benchmarks share: a simulated sensor network on a pseudo-terminal,
// this process's CPU time and its resident memory.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <sys/resource.h>

namespace kelvar::bench {

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return t.tv_sec + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// This process's resident memory; -1 when it cannot be told.
inline long ResidentKiB() {
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

// Only for the benchmarks built with the simulator's path.
#ifdef ACTIMAR_SIM_PATH
// actimar-sim with its default sensor (address 1, 115.2K) for as long as the
// object lives; Device() is empty when it did not start.
class SimulatorProcess {
public:
    SimulatorProcess() : link_(dir_.filePath(QStringLiteral("sensors"))) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ACTIMAR_SIM_PATH), {QStringLiteral("--link"), link_});
        for (int i = 0; i < 100 && !QFileInfo::exists(link_); ++i) {
            QThread::msleep(50);
        }
    }
    ~SimulatorProcess() {
        process_.terminate();
        process_.waitForFinished(3000);
    }
    QString Device() const { return QFileInfo::exists(link_) ? link_ : QString(); }

private:
    QTemporaryDir dir_;
    QString link_;
    QProcess process_;
};
#endif

} // namespace kelvar::bench
