#include "operations/Graph.h"

#include "model/Numbers.h"
#include "model/Parameters.h"
#include "operations/Session.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace kelvar {

int GraphScaleFactor(int entry) {
    if (entry < 0 || entry >= static_cast<int>(GraphScales.size())) {
        return GraphScales[DefaultGraphScale].factor;
    }
    return GraphScales.at(static_cast<std::size_t>(entry)).factor;
}

QStringList GraphScaleCaptions() {
    QStringList captions;
    for (const GraphScale& scale : GraphScales) {
        captions.append(QLatin1String(scale.caption));
    }
    return captions;
}

void cGraph::InitGraph(int scaleEntry, const clsSensorData& sensor, float travelMinimum,
                       float travelMaximum) {
    index_ = 0;
    lastEnd_.reset();
    factor_ = GraphScaleFactor(scaleEntry);
    const int width = std::max(AreaWidth, 1);
    scaleWidth_ = static_cast<double>(width) / factor_;
    // Two samples at least, or the index would run past the buffers.
    const auto last = std::max<std::int64_t>(2, RoundHalfEven(scaleWidth_));
    positions_.assign(static_cast<std::size_t>(last) + 1, 0);
    targets_.assign(static_cast<std::size_t>(last) + 1, 0);

    std::int64_t length =
        sensor.ReadParameterData(Param::SensorLength, clsSensorData::SensorDataColumn);
    if (length <= 0) {
        // No stroke was read: the whole range still keeps every answer on the chart.
        length = FullScaleCounts;
    }
    margin_ = RoundHalfEven(static_cast<double>(length) / 8);
    scaleHeight_ = length + 2 * margin_;
    minTravel_ = sensor.ReadParameterData(Param::MinimumTravel, clsSensorData::SensorDataColumn);
    maxTravel_ = sensor.ReadParameterData(Param::MaximumTravel, clsSensorData::SensorDataColumn);
    minimumLabel_ = FormatNumber(travelMinimum, u"##0.00", QLocale());
    maximumLabel_ = FormatNumber(travelMaximum, u"##0.00", QLocale());
}

GraphPlot cGraph::DrawGraph() const {
    GraphPlot plot;
    plot.clear = true;
    plot.minimumLabel = minimumLabel_;
    plot.maximumLabel = maximumLabel_;
    const auto across = [this](double y, bool dotted) {
        return GraphLine{0, y, scaleWidth_, y, dotted};
    };
    const auto height = static_cast<double>(scaleHeight_);
    plot.grid = {across(static_cast<double>(ToY(maxTravel_)), true),
                 across(static_cast<double>(ToY(minTravel_)), true), across(height / 4, false),
                 across(height * 3 / 4, false), across(height / 2, false)};
    for (int k = 1; k <= 7; ++k) {
        const double x = scaleWidth_ * k / 8;
        plot.grid.push_back({x, 0, x, height, false});
    }
    return plot;
}

std::vector<GraphStroke> cGraph::StrokesAt(int index) const {
    const auto stroke = [this, index](GraphTrace trace, const std::vector<std::int32_t>& values) {
        const auto at = [&values](int i) {
            return values.at(static_cast<std::size_t>(i));
        };
        return GraphStroke{trace, index - 1, ToY(at(index - 2)), ToY(at(index - 1))};
    };
    return {stroke(GraphTrace::Target, targets_), stroke(GraphTrace::Position, positions_)};
}

GraphPlot cGraph::AddGraphSample(std::int32_t position, std::int32_t target,
                                 std::optional<float> velocity, std::int64_t startMs) {
    positions_.at(static_cast<std::size_t>(index_)) = position;
    targets_.at(static_cast<std::size_t>(index_)) = target;
    ++index_;
    if (index_ == LastIndex()) {
        index_ = 1;
    }
    samples_.push_back({++sampleCount_, startMs, position, target, velocity});
    if (samples_.size() > MaxKeptSamples) {
        samples_.pop_front();
    }

    // What this sample draws.
    GraphPlot plot;
    if (index_ == 1) {
        plot = DrawGraph();
    }
    if (index_ < 3) {
        return plot;
    }
    if (lastEnd_) {
        plot.sampleRate = QString::number(startMs - *lastEnd_);
    }
    plot.strokes = StrokesAt(index_);
    return plot;
}

GraphPlot cGraph::Whole() const {
    GraphPlot plot = DrawGraph();
    for (int i = 3; i <= index_; ++i) {
        for (const GraphStroke& stroke : StrokesAt(i)) {
            plot.strokes.push_back(stroke);
        }
    }
    return plot;
}

void cGraph::StartRun() {
    samples_.clear();
    sampleCount_ = 0;
}

bool WriteGraphCsv(QIODevice& device, const std::deque<GraphSample>& samples,
                   const clsSensorData& sensor) {
    const QString units = sensor.Units();
    const auto caption = [&units](const char* name, const char* perSecond) {
        QString text = QLatin1String(name);
        if (!units.isEmpty()) {
            text += QStringLiteral(" (%1%2)").arg(units, QLatin1String(perSecond));
        }
        return text;
    };
    // Plain numbers whatever the user's locale: a decimal comma would split the fields.
    const int decimals = LengthDecimals(sensor.Resolution());
    const auto length = [&sensor, decimals](std::int32_t counts) {
        return QString::number(LengthOfCounts(counts, sensor), 'f', decimals);
    };
    QString text =
        QStringLiteral("Sample,Milliseconds,%1,%2,%3\r\n")
            .arg(caption("Position", ""), caption("Target", ""), caption("Velocity", "/sec"));
    for (const GraphSample& sample : samples) {
        text += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                    .arg(sample.number)
                    .arg(sample.ms)
                    .arg(length(sample.position), length(sample.target),
                         sample.velocity ? QString::number(*sample.velocity, 'f', 2) : QString());
    }
    const QByteArray bytes = text.toUtf8();
    return device.write(bytes) == bytes.size();
}

// ------------------------------------------------------------ the session

QString cSession::StartGraphCaption() const {
    return GraphRunning ? QStringLiteral("Stop") : QStringLiteral("Start");
}

QString cSession::PauseGraphCaption() const {
    return graphPaused_ ? QStringLiteral("Resume") : QStringLiteral("Pause");
}

void cSession::InitGraph() {
    Graph.InitGraph(GraphScaleEntry, sensor, read.TravelMinimum(), read.TravelMaximum());
}

void cSession::StartStopGraph() {
    // A flow's requests must not meet the monitor restarted in their midst.
    if (flowRunning_ || aborted_) {
        return;
    }
    GraphRunning = !GraphRunning;
    graphPaused_ = false;
    if (GraphRunning) {
        Graph.StartRun();
        graphClock_.start();
        InitGraph();
    }
    emit graphStateChanged();
    RefreshApplyState();
    StopMonitor();
    MonitorTimer.setInterval(GraphRunning ? GraphMonitorIntervalMs : MonitorIntervalMs);
    StartMonitor();
}

void cSession::PauseGraph() {
    if (!GraphRunning) {
        return;
    }
    graphPaused_ = !graphPaused_;
    emit graphStateChanged();
}

void cSession::GraphTabShown() {
    if (link.StateFlags.TestBit(StateBit::DataLoaded)) {
        if (!GraphRunning) {
            InitGraph();
            emit graphDrawn(Graph.DrawGraph());
        }
        // From 0, so that the next answers are drawn here whatever they are.
        UpdateReadouts(true, ReadoutPanel::Graph);
    }
    StartMonitor();
}

void cSession::TakeGraphSample() {
    if (!GraphRunning || graphPaused_) {
        return;
    }
    // A position or target whose last poll went unanswered is no value of the
    // sensor's: the sample waits for the next answers rather than plot it.
    if (ReadoutStale(Readout::Position) || ReadoutStale(Readout::Target)) {
        return;
    }
    const cResponseDecoder& decoder = link.Decoder();
    std::optional<float> velocity;
    if (!ReadoutStale(Readout::Velocity)) {
        velocity = decoder.AnsweredVelocity();
    }
    emit graphDrawn(Graph.AddGraphSample(decoder.PositionCounts(), decoder.TargetCounts(), velocity,
                                         graphClock_.elapsed()));
    Graph.EndSample(graphClock_.elapsed());
}

void cSession::SaveGraph(const std::function<bool(QIODevice&)>& writeImage) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const auto save = [this](const QString& path, const QString& what,
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
        save(samples, QStringLiteral("graph samples file"),
             [this](QIODevice& device) { return WriteGraphCsv(device, Graph.Samples(), sensor); });
    }
}

} // namespace kelvar
