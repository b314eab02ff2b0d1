#include "operations/Graph.h"

#include "model/Numbers.h"
#include "model/Parameters.h"

#include <QIODevice>
#include <QLocale>
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

GraphAxes cGraph::Axes(const clsSensorData& sensor) const {
    GraphAxes axes;
    axes.timeTitle = QStringLiteral("Time (s)");
    const QString units = sensor.Units();
    axes.valueTitle =
        units.isEmpty() ? QStringLiteral("Position") : QStringLiteral("Position (%1)").arg(units);
    axes.limits = QStringLiteral("Limits %1 / %2").arg(minimumLabel_, maximumLabel_);
    // The sweep's samples are the newest kept.
    const auto inSweep = std::min<std::size_t>(static_cast<std::size_t>(index_), samples_.size());
    double msPerSample = 30;
    if (inSweep >= 2) {
        const auto first = samples_.end() - static_cast<std::ptrdiff_t>(inSweep);
        msPerSample =
            static_cast<double>(samples_.back().ms - first->ms) / static_cast<double>(inSweep - 1);
    }
    for (int k = 0; k <= 8; ++k) {
        const double x = scaleWidth_ * k / 8;
        axes.times.push_back({x, QLocale().toString(x * msPerSample / 1000, 'f', 1)});
    }
    const std::int64_t length = scaleHeight_ - 2 * margin_;
    for (int k = 0; k <= 4; ++k) {
        const auto counts = static_cast<std::int32_t>(RoundHalfEven(length * k / 4.0));
        axes.values.push_back({static_cast<double>(ToY(counts)),
                               FormatLength(LengthOfCounts(counts, sensor), false, sensor)});
    }
    return axes;
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

} // namespace kelvar
