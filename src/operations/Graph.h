#pragma once

#include "model/SensorData.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class QIODevice;

namespace kelvar {

// The scale list: the more pixels a sample takes, the faster the trace sweeps.
struct GraphScale {
    const char* caption;
    int factor;
};
inline constexpr std::array<GraphScale, 5> GraphScales = {{
    {"  1/4:1", 2},
    {"  1/2:1", 4},
    {"  1:1", 8},
    {"  2:1", 12},
    {"  4:1", 16},
}};
inline constexpr int DefaultGraphScale = 2;
// The factor of a list entry; no entry (-1) or any other index gives 8.
int GraphScaleFactor(int entry);
QStringList GraphScaleCaptions();

// A grid line in the chart's own coordinates (x across, y down).
struct GraphLine {
    double x1;
    double y1;
    double x2;
    double y2;
    bool dotted;
};

// The target is drawn first (blue), the position over it (red).
enum class GraphTrace { Target, Position };

// One trace's stroke of a sample: from the sample before, at (x - 1, y1), to
// this one at (x, y2), so that the strokes join into one continuous trace.
struct GraphStroke {
    GraphTrace trace;
    int x;
    std::int64_t y1;
    std::int64_t y2;
};

// What a sample (or a redraw) puts on the chart.
struct GraphPlot {
    // Clear the chart and draw the grid first; the limit labels change.
    bool clear = false;
    std::vector<GraphLine> grid;
    QString minimumLabel;
    QString maximumLabel;
    std::vector<GraphStroke> strokes;
    // Milliseconds between the end of the previous sample and the start of
    // this one; empty when there is none to show.
    QString sampleRate;
};

// What a saved chart shows around it: ticks in the chart's own coordinates
// with their texts, the axes' titles and the legend's text of the limits.
struct GraphTick {
    double at;
    QString text;
};
struct GraphAxes {
    QString timeTitle;             // "Time (s)"
    QString valueTitle;            // "Position (in)", in the sensor's units
    std::vector<GraphTick> times;  // across, seconds since the sweep began
    std::vector<GraphTick> values; // down, the stroke's quarters
    QString limits;                // the travel limits, as the tab's labels show them
};

// One sample as the CSV keeps it.
struct GraphSample {
    std::int64_t number; // from 1 since Start
    std::int64_t ms;     // since Start
    std::int32_t position;
    std::int32_t target;
    std::optional<float> velocity; // none while the last velocity poll went unanswered
};

// The strip chart without its widget: scale, sample buffers and what each
// sample draws. Values are counts; the chart is `ScaleWidth` units wide (a
// unit per sample) and `ScaleHeight` high, the stroke between two margins.
// The width is measured in twips, as the chart's scale was made for: at 1:1
// a chart 540 pixels wide holds about 1,000 samples, 30 s at 30 ms.
class cGraph {
public:
    // Samples the CSV keeps at most (the newest; about 50 minutes at 30 ms).
    static constexpr std::size_t MaxKeptSamples = 100000;
    // The scale when the sensor's length is unknown (0): the whole range a
    // position answer can carry.
    static constexpr std::int32_t FullScaleCounts = 0xFFFF;

    static constexpr int TwipsPerInch = 1440;
    // The chart's width in twips (15 to a pixel at 96 dpi).
    int AreaWidth = 9600;

    // Scale, buffers (all 0) and coordinates for the sensor's stroke; the
    // sample index back to 0. The limits and their labels come from the
    // record's travel (counts) and the Limits tab's values (user units).
    void InitGraph(int scaleEntry, const clsSensorData& sensor, float travelMinimum,
                   float travelMaximum);
    // The clear chart with its grid and limit labels.
    GraphPlot DrawGraph() const;
    // Stores a sample at the index and advances it (back to 1 at the last
    // index); returns what PlotSample draws for it. startMs/endMs: the clock
    // just before and just after the sample.
    GraphPlot AddGraphSample(std::int32_t position, std::int32_t target,
                             std::optional<float> velocity, std::int64_t startMs);
    void EndSample(std::int64_t endMs) { lastEnd_ = endMs; }
    // The chart as it stands: grid and every stroke since the last wrap.
    GraphPlot Whole() const;
    // The axes of the chart as it stands: its time at the pace of the
    // sweep's samples (30 ms before there are two), its values in the
    // sensor's units.
    GraphAxes Axes(const clsSensorData& sensor) const;
    // A new run: its samples kept for the CSV start again.
    void StartRun();

    int ScaleFactor() const { return factor_; }
    double ScaleWidth() const { return scaleWidth_; }
    std::int64_t ScaleHeight() const { return scaleHeight_; }
    int LastIndex() const { return static_cast<int>(positions_.size()) - 1; }
    int SampleIndex() const { return index_; }
    // Where a value in counts is drawn.
    std::int64_t ToY(std::int64_t counts) const { return scaleHeight_ - counts - margin_; }
    const std::deque<GraphSample>& Samples() const { return samples_; }

private:
    std::vector<GraphStroke> StrokesAt(int index) const;

    int factor_ = 8;
    double scaleWidth_ = 0;
    std::int64_t scaleHeight_ = 0;
    std::int64_t margin_ = 0;
    std::int32_t minTravel_ = 0;
    std::int32_t maxTravel_ = 0;
    QString minimumLabel_;
    QString maximumLabel_;
    std::vector<std::int32_t> positions_{0};
    std::vector<std::int32_t> targets_{0};
    int index_ = 0;
    std::optional<std::int64_t> lastEnd_;
    std::deque<GraphSample> samples_;
    std::int64_t sampleCount_ = 0;
};

// The samples as CSV: a header line, then sample number, milliseconds since
// Start, position, target and velocity in the sensor's units. False when the
// device would not take it all.
bool WriteGraphCsv(QIODevice& device, const std::deque<GraphSample>& samples,
                   const clsSensorData& sensor);

} // namespace kelvar
