#include "operations/GraphFlow.h"

#include "operations/Session.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>
#include <QStandardPaths>

namespace kelvar {

cGraphFlow::cGraphFlow(cSession& session) : session_(session) {
    // Another sensor read while graphing is drawn to its own scale.
    connect(&session_.read, &cReadFlow::loadFinished, this, [this] {
        if (running_) {
            Init();
        }
    });
}

QString cGraphFlow::StartCaption() const {
    return running_ ? QStringLiteral("Stop") : QStringLiteral("Start");
}

QString cGraphFlow::PauseCaption() const {
    return paused_ ? QStringLiteral("Resume") : QStringLiteral("Pause");
}

void cGraphFlow::Init() {
    graph_.InitGraph(scaleEntry_, session_.sensor, session_.read.TravelMinimum(),
                     session_.read.TravelMaximum());
}

void cGraphFlow::StartStop() {
    // A flow's requests must not meet the monitor restarted in their midst.
    if (session_.FlowRunning() || session_.Aborted()) {
        return;
    }
    running_ = !running_;
    paused_ = false;
    if (running_) {
        graph_.StartRun();
        clock_.start();
        Init();
    }
    emit graphStateChanged();
    session_.apply.RefreshApplyState();
    cMonitorFlow& monitor = session_.monitor;
    monitor.Stop();
    monitor.SetIntervalMs(running_ ? cMonitorFlow::GraphIntervalMs
                                   : cMonitorFlow::DefaultIntervalMs);
    monitor.Start();
}

void cGraphFlow::Pause() {
    if (!running_) {
        return;
    }
    paused_ = !paused_;
    emit graphStateChanged();
}

void cGraphFlow::TabShown() {
    if (session_.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        if (!running_) {
            Init();
            emit graphDrawn(graph_.DrawGraph());
        }
        // From 0, so that the next answers are drawn here whatever they are.
        session_.monitor.UpdateReadouts(true, ReadoutPanel::Graph);
    }
    session_.monitor.Start();
}

void cGraphFlow::TakeSample() {
    if (!running_ || paused_) {
        return;
    }
    // A position or target whose last poll went unanswered is no value of the
    // sensor's: the sample waits for the next answers rather than plot it.
    const cMonitorFlow& monitor = session_.monitor;
    if (monitor.ReadoutStale(Readout::Position) || monitor.ReadoutStale(Readout::Target)) {
        return;
    }
    const cResponseDecoder& decoder = session_.link.Decoder();
    std::optional<float> velocity;
    if (!monitor.ReadoutStale(Readout::Velocity)) {
        velocity = decoder.Velocity();
    }
    emit graphDrawn(graph_.AddGraphSample(decoder.PositionCounts(), decoder.TargetCounts(),
                                          velocity, clock_.elapsed()));
    graph_.EndSample(clock_.elapsed());
}

void cGraphFlow::Save(const std::function<bool(QIODevice&)>& writeImage) {
    cView& view = session_.view;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const auto save = [&view](const QString& path, const QString& what,
                              const std::function<bool(QIODevice&)>& write) {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && write(file) && file.commit()) {
            return true;
        }
        view.Ask(QStringLiteral("Save Graph"),
                 QStringLiteral("The %1 \"%2\" could not be saved: %3.")
                     .arg(what, QDir::toNativeSeparators(path), file.errorString()),
                 MessageIcon::Exclamation, MessageButtons::Ok);
        return false;
    };
    const QString image =
        view.AskFileName(true, QStringLiteral("Save Graph Image"), folder,
                         QStringLiteral("graph.png"), QStringLiteral("PNG Images (*.png)"));
    if (!image.isEmpty()) {
        save(image, QStringLiteral("graph image"), writeImage);
    }
    const QString proposed = image.isEmpty()
                                 ? QStringLiteral("graph.csv")
                                 : QFileInfo(image).completeBaseName() + QStringLiteral(".csv");
    const QString samples = view.AskFileName(true, QStringLiteral("Save Graph Samples"),
                                             image.isEmpty() ? folder : QFileInfo(image).path(),
                                             proposed, QStringLiteral("CSV Files (*.csv)"));
    if (!samples.isEmpty()) {
        save(samples, QStringLiteral("graph samples file"), [this](QIODevice& device) {
            return WriteGraphCsv(device, graph_.Samples(), session_.sensor);
        });
    }
}

} // namespace kelvar
