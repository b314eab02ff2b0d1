// The strip chart's model, and graphing on the simulated network.
#include "operations/Graph.h"
#include "support/Golden.h"
#include "support/SimSession.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

clsSensorData SensorOfLength(std::int32_t counts) {
    clsSensorData sensor;
    InitParameterTable(sensor);
    sensor.WriteParameterData(Param::SensorLength, clsSensorData::SensorDataColumn, counts);
    return sensor;
}

// Sensor 1 read, the Graph tab showing, the graph running; ticks by hand.
class GraphSessionTest : public test::SimSessionTest {
protected:
    GraphSessionTest() {
        AddSensor(1, 115200, 12345);
        ListAndRead(1);
        view.SelectTab(Tab::Graph);
        session.graph.StartStop();
        session.monitor.Stop();
    }
    std::size_t Samples() const { return session.graph.Chart().Samples().size(); }
};

} // namespace

TEST(Graph, ValuesLieBetweenTheMarginsAndAnUnreadLengthStillScales) {
    // length, y of 0, y of the length (the margin is an eighth, halves to even)
    for (const auto& [length, yOfZero, yOfLength] :
         {std::tuple{4000, 4500, 500}, {12, 14, 2}, {0, 73727, 8192}}) {
        cGraph graph;
        graph.InitGraph(-1, SensorOfLength(length), 0, 0);
        EXPECT_EQ(graph.ScaleFactor(), 8);
        EXPECT_EQ(graph.ToY(0), yOfZero) << length;
        EXPECT_EQ(graph.ToY(length > 0 ? length : cGraph::FullScaleCounts), yOfLength) << length;
    }
}

TEST(Graph, EachScaleOfTheListFitsItsSamplesAcross) {
    cGraph graph;
    graph.AreaWidth = 4000; // twips
    const std::array<int, 5> across{2000, 1000, 500, 333, 250};
    for (int entry = 0; entry < 5; ++entry) {
        graph.InitGraph(entry, SensorOfLength(4000), 0, 0);
        EXPECT_EQ(graph.LastIndex(), across.at(static_cast<std::size_t>(entry))) << entry;
    }
}

// 4000 twips at "  1:1": 500 samples across, here 40 ms apart.
TEST(Graph, TheTraceWrapsToIndexOneOnAClearedChartAndTheAxesTellSecondsAndLengths) {
    QLocale::setDefault(QLocale::c()); // display texts
    const clsSensorData sensor = SensorOfLength(4000);
    cGraph graph;
    graph.AreaWidth = 4000;
    graph.InitGraph(DefaultGraphScale, sensor, 2, 20);
    ASSERT_EQ(graph.LastIndex(), 500);
    std::vector<int> clears;
    std::vector<int> stroked; // samples that drew
    int widest = 0;
    GraphAxes axes;
    for (int n = 1; n <= 502; ++n) {
        const GraphPlot plot = graph.AddGraphSample(n, 0, std::nullopt, 40 * n);
        if (n == 11) {
            axes = graph.Axes(sensor);
            EXPECT_EQ(plot.sampleRate, "15") << "from the end of sample 10 to this start";
        }
        graph.EndSample(40 * n + 25);
        ASSERT_LT(graph.SampleIndex(), 500) << n;
        if (plot.clear) {
            clears.push_back(n);
        }
        if (!plot.strokes.empty()) {
            stroked.push_back(n);
            ASSERT_EQ(plot.strokes.size(), 2U);
            widest = std::max(widest, plot.strokes.back().x);
        }
    }
    EXPECT_EQ(clears, (std::vector<int>{1, 500}));
    EXPECT_EQ(stroked.front(), 3);
    EXPECT_EQ(widest, 498);
    EXPECT_EQ(stroked.at(stroked.size() - 2), 499);
    EXPECT_EQ(stroked.back(), 502);
    // The first stroke after the wrap joins the two samples since.
    const GraphStroke position = graph.Whole().strokes.back();
    EXPECT_EQ(position.x, 2);
    EXPECT_EQ(position.y1, graph.ToY(501));
    EXPECT_EQ(position.y2, graph.ToY(502));

    QStringList texts{axes.timeTitle, axes.valueTitle, axes.limits};
    for (const auto& ticks : {axes.times, axes.values}) {
        for (const GraphTick& tick : ticks) {
            texts << QStringLiteral("%1 %2").arg(tick.at).arg(tick.text);
        }
    }
    QLocale::setDefault(QLocale::system());
    EXPECT_EQ(texts.join(" | "),
              "Time (s) | Position (in) | Limits 2.00 / 20.00 | 0 0.0 | 62.5 2.5 | 125 5.0 | "
              "187.5 7.5 | 250 10.0 | 312.5 12.5 | 375 15.0 | 437.5 17.5 | 500 20.0 | "
              "4500 0.000 | 3500 1.000 | 2500 2.000 | 1500 3.000 | 500 4.000");
}

TEST_F(GraphSessionTest, ALostPollPlotsNothingPauseAndStopKeepTheSamplesSavedInTheSensorsUnits) {
    // After the tab's reset no sample comes before position and target are answered.
    for (int i = 0; i < 7 && (session.monitor.ReadoutStale(Readout::Position) ||
                              session.monitor.ReadoutStale(Readout::Target));
         ++i) {
        EXPECT_EQ(Samples(), 0U);
        Ticks(1);
    }
    EXPECT_EQ(Samples(), 1U);
    // Two lost polls in a row are never both velocity polls.
    network.faults().drop = 1.0;
    Ticks(2);
    const std::size_t taken = Samples();
    Ticks(5);
    EXPECT_EQ(Samples(), taken);
    network.faults().drop = 0;
    Ticks(7);
    EXPECT_GT(Samples(), taken);

    session.graph.Pause();
    EXPECT_EQ(session.graph.StartCaption(), "Stop");
    EXPECT_EQ(session.graph.PauseCaption(), "Resume");
    session.graph.StartStop();
    EXPECT_EQ(session.graph.StartCaption(), "Start");
    EXPECT_EQ(session.graph.PauseCaption(), "Pause");
    EXPECT_FALSE(session.graph.Paused());

    QTemporaryDir dir;
    view.fileAnswer = dir.filePath("run.csv"); // the image, then the samples over it
    session.graph.Save([](QIODevice& device) { return device.write("png") == 3; });
    EXPECT_EQ(view.fileQuestions.size(), 2);
    const QStringList lines = test::FileText(view.fileAnswer).split("\r\n");
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(Samples()) + 2); // header, samples, ""
    const QStringList first = lines[1].split(',');
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(first[0], "1");
    EXPECT_EQ(first[2], "12.345");
    EXPECT_EQ(first[4], "") << "no velocity answered yet";
    EXPECT_FALSE(lines.at(lines.size() - 2).endsWith(',')) << "the velocity was polled since";

    view.fileAnswer = dir.filePath("missing/run.csv");
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.graph.Save([](QIODevice&) { return true; });
    EXPECT_EQ(view.prompter.asked.size(), 2) << "each failure is told";
}
