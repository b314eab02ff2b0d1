// The window's buttons by what the sensor receives, and the chart by its pixels.
#include "RunningProgram.h"
#include "ui/StripChart.h"

#include <QAction>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <cmath>

using namespace kelvar;
using List = QList<QByteArray>;

namespace {

class ControlsTest : public test::RunningProgramTest {
protected:
    // What the setpoint button sends: nothing until the monitor's next tick.
    List Choose(const char* buttons, int index) {
        window.Control<QAbstractButton>(buttons, index)->click();
        return SentBy([this] { session.monitor.Tick(); }, "KI");
    }
    // The cylinder sent to setpoint i: its velocity, then its target.
    static List MoveTo(int i) {
        return {"K" + test::Hex(TheSetpoint(i, 1), 4), "I" + test::Hex(TheSetpoint(i, 0), 4)};
    }
};

TEST_F(ControlsTest, EachSetpointButtonSendsItsOwnSetpointTheMonitorsUnlessViewOnly) {
    EXPECT_EQ(Choose("cmdSelect", 29), List{}) << "the read ticks View Only";
    EXPECT_EQ(window.Control<QLabel>("lblSetpointNumber", 0)->text(), "29")
        << "shown with 29 and 31";
    window.Control<QAbstractButton>("chkView")->click();
    for (const int i : {0, 29, 59}) {
        EXPECT_EQ(Choose("cmdSelect", i), MoveTo(i)) << i;
    }
    window.Control<QAbstractButton>("chkView")->click(); // on the graph it moves all the same
    window.SelectTab(Tab::Graph);
    for (const int i : {0, 29, 59}) {
        EXPECT_EQ(Choose("cmdGraphSelect", i), MoveTo(i)) << i;
    }
    // Two choices before a tick: only the later one.
    window.Control<QAbstractButton>("cmdGraphSelect", 2)->click();
    EXPECT_EQ(Choose("cmdGraphSelect", 4), MoveTo(4));
}

TEST_F(ControlsTest, ResetReadsTheSensorAgainAsTheStartDidAndWritesNothing) {
    // All but the polls and the target set to the position.
    List startRead = test::CommandTexts(line, 0, 1);
    startRead.removeIf([](const QByteArray& r) { return QByteArrayView("ABCI").contains(r[0]); });
    auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
    gain->setText("640");
    emit gain->editingFinished();
    auto* reset = window.Control<QAbstractButton>("cmdReload");
    EXPECT_EQ(SentBy([reset] { reset->click(); }, "DFGKLQR"), startRead);
    EXPECT_EQ(gain->text().toStdString(), "500");
}

// A cylinder standing at 6.000 with its target at 15.000, then 8.000, eleven
// samples at the scale "  1:1", the last 200 ms after the one before.
TEST_F(ControlsTest, TheChartJoinsTheSamplesToScaleBetweenItsLimitsAndIsSavedWithAxes) {
    sensor.Respond("K0000", line.elapsedMs());
    sensor.Respond("I3A98", line.elapsedMs());
    window.SelectTab(Tab::Graph);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return window.Control<QLabel>("lblGraphTarget")->text() == "15.000"; }));
    window.Control<QAbstractButton>("cmdStartGraph")->click();
    session.monitor.Stop(); // the samples come from these ticks alone
    for (int n = 1; n <= 11; ++n) {
        QTest::qWait(n == 1 ? 400 : n == 11 ? 200 : 0);
        session.monitor.Tick();
        if (n == 4) {
            sensor.Respond("I1F40", line.elapsedMs());
        }
    }
    const int rate = window.Control<QLineEdit>("txtSampleRate")->text().toInt();
    EXPECT_TRUE(rate >= 200 && rate < 400) << rate;

    auto* widget = window.Control<cStripChart>("TimeBase");
    const QImage chart = widget->Image();
    // The chart's width in twips over the factor 8: about 1,000 samples.
    EXPECT_EQ(session.graph.Chart().LastIndex(), std::lround(chart.width() * 15 / 8.0));
    QHash<QRgb, QList<QPoint>> drawn; // column by column
    for (int x = 0; x < chart.width(); ++x) {
        for (int y = 0; y < chart.height(); ++y) {
            drawn[chart.pixel(x, y)].append({x, y});
        }
    }
    // The stroke of 24000 counts with an eighth of it as a margin above and below.
    const auto row = [&chart](double counts) {
        return static_cast<int>(std::lround((27000 - counts) * chart.height() / 30000));
    };
    // Samples a pixel apart at most, each joined to the one before: the
    // still position a line, the target's step one pixel in every row.
    const int y = row(6000);
    EXPECT_EQ(drawn[qRgb(255, 0, 0)], (QList<QPoint>{{1, y}, {2, y}, {3, y}, {4, y}, {5, y}}))
        << "the position";
    QSet<int> rows;
    for (const QPoint& pixel : drawn[qRgb(0, 0, 255)]) {
        rows.insert(pixel.y());
    }
    EXPECT_EQ(rows.size(), row(8000) - row(15000) + 1) << "the target";
    // A column of the dotted lines' dots, clear of the traces and the upright lines.
    const int x = chart.width() / 48 * 9;
    QList<QPoint> across = drawn[QColor(Qt::darkGray).rgb()];
    across.removeIf([x](const QPoint& dot) { return dot.x() != x; });
    EXPECT_EQ(
        across,
        (QList<QPoint>{
            {x, row(20000)}, {x, row(19500)}, {x, row(12000)}, {x, row(4500)}, {x, row(2000)}}))
        << "the maximum travel, the quarters and the minimum travel";
    EXPECT_EQ(window.Control<QLabel>("lblGraph_5")->text().toStdString(), "2.00");
    EXPECT_EQ(window.Control<QLabel>("lblGraph_6")->text().toStdString(), "20.00");

    // Saved, the chart is framed by its axes (black) and has a legend above
    // with a stroke of each trace's colour and of the limits'.
    const QImage picture = widget->Picture(session.graph.Chart().Axes(session.sensor));
    const QMargins m = cStripChart::PictureMargins;
    ASSERT_EQ(picture.size(), chart.size().grownBy(m));
    EXPECT_EQ(picture.copy(QRect(QPoint(m.left(), m.top()), chart.size())), chart);
    EXPECT_EQ(picture.pixel(m.left() - 1, m.top()), qRgb(0, 0, 0)) << "the value axis";
    EXPECT_EQ(picture.pixel(m.left(), m.top() + chart.height()), qRgb(0, 0, 0)) << "time axis";
    QSet<QRgb> legend;
    for (int x = 0; x < picture.width(); ++x) {
        legend.insert(picture.pixel(x, m.top() / 2));
    }
    EXPECT_TRUE(legend.contains(qRgb(255, 0, 0)) && legend.contains(qRgb(0, 0, 255)) &&
                legend.contains(QColor(Qt::darkGray).rgb()));
}

TEST_F(ControlsTest, GraphStartPollsFastPauseHoldsTheChartAndStopGoesBackToTheMonitorsPace) {
    window.SelectTab(Tab::Graph);
    auto* start = window.Control<QAbstractButton>("cmdStartGraph");
    auto* pause = window.Control<QAbstractButton>("cmdPauseGraph");
    auto* chart = window.Control<cStripChart>("TimeBase");
    const auto polls = [this](int ms) {
        return SentBy([ms] { QTest::qWait(ms); }, "ABC").size();
    };
    // The pace is the monitor timer's, not a measured rate: a loaded machine
    // would slow a rate down.
    const cMonitorFlow& monitor = session.monitor;
    start->click();
    EXPECT_TRUE(monitor.Running());
    EXPECT_EQ(monitor.IntervalMs(), 30) << "ms";
    EXPECT_GT(polls(300), 0);
    pause->click();
    const QImage paused = chart->Image();
    EXPECT_GT(polls(300), 0) << "the readouts go on";
    EXPECT_TRUE(chart->Image() == paused);
    pause->click();
    polls(300);
    EXPECT_FALSE(chart->Image() == paused) << "resumed";
    start->click();
    const QImage stopped = chart->Image();
    EXPECT_EQ(monitor.IntervalMs(), 75) << "ms";
    EXPECT_GT(polls(300), 0) << "the monitor goes on";
    EXPECT_TRUE(chart->Image() == stopped);
}

// Between two of Apply's writes (as its progress moves on), a user shows the
// Monitor tab, presses setpoint 10 (on both tabs, and through the session as
// any caller could), Reset, a search, a calibration button or another sensor, and the
// monitor's timer fires: nothing moves the cylinder or polls between the
// writes, and the monitor starts once Apply has ended.
TEST_F(ControlsTest, NothingElseGoesOnTheLineWhileApplyWrites) {
    window.Control<QAbstractButton>("chkView")->click();
    for (int reg = 2; reg <= 9; ++reg) {
        auto* field = window.Control<QLineEdit>("txtData", FieldOfRegister(reg));
        field->setText(QString::number(600 + reg));
        emit field->editingFinished();
    }
    window.SelectTab(Tab::Dynamics);
    const std::size_t from = line.log().size();
    const auto write = [](const QByteArray& r) {
        return r.startsWith('L');
    };
    bool clicked = false;
    const auto user = QObject::connect(&session.statusBar, &cStatusBar::changed, [&] {
        const List sent = test::CommandTexts(line, from, 1);
        if (clicked || std::none_of(sent.begin(), sent.end(), write)) {
            return;
        }
        clicked = true;
        window.SelectTab(Tab::Monitor);
        for (const char* buttons : {"cmdSelect", "cmdGraphSelect"}) {
            EXPECT_FALSE(window.Control<QAbstractButton>(buttons, 9)->isEnabled()) << buttons;
        }
        for (const char* button :
             {"cmdReload", "cmdAutoBaudSearch", "cmdMidPoint", "cboSensorSelect"}) {
            EXPECT_FALSE(window.Control<QWidget>(button)->isEnabled()) << button;
        }
        EXPECT_FALSE(session.RunUserFlow([this] { session.calibration.SetTargetToMidpoint(); }));
        session.setpoints.RequestSetpoint(9);
        for (int tick = 0; tick < 3; ++tick) { // a position, a target and a velocity poll
            session.monitor.Tick();
        }
    });
    prompter.Script(MessageAnswer::Ok);
    window.Control<QAbstractButton>("cmdApply")->click();
    QObject::disconnect(user);
    EXPECT_TRUE(clicked);
    List sent = test::CommandTexts(line, from, 1);
    sent.erase(std::find_if(sent.rbegin(), sent.rend(), write).base(), sent.end());
    sent.erase(sent.begin(), std::find_if(sent.begin(), sent.end(), write));
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), write), 8);
    EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const QByteArray& r) {
        return r.startsWith('L') || r.startsWith('A'); // its writes and its position polls
    })) << QByteArray(sent.join(' ')).toStdString();
    EXPECT_TRUE(session.monitor.Running());
    EXPECT_FALSE(window.Control<QWidget>("cmdApply")->isEnabled()) << "all written";
    EXPECT_EQ(SentBy([this] { session.monitor.Tick(); }, "KI"), List{})
        << "the press during Apply was dropped";
}

// The cylinder stands still wherever its target is, so that the positions
// read are known.
class CalibrationTabTest : public test::RunningProgramTest {
protected:
    CalibrationTabTest() : RunningProgramTest("/cal") {}
    void SetUp() override {
        RunningProgramTest::SetUp();
        sensor.Respond("K0000", line.elapsedMs());
        window.SelectTab(Tab::Calibration);
        QCoreApplication::processEvents();
    }
    List Press(QAbstractButton* button) {
        return SentBy([button] { button->click(); });
    }
    List Press(const char* button) { return Press(window.Control<QAbstractButton>(button)); }
    // Its up arrow (0) or its down arrow (1).
    List Arrow(const char* upDown, int arrow) {
        return Press(window.Control<QWidget>(upDown)->findChildren<QToolButton*>().at(arrow));
    }
};

TEST_F(CalibrationTabTest, EachFieldWritesItsValueAtOnce) {
    auto* zero = window.Control<QLineEdit>("txtAdjustValue");
    QTest::keyClicks(zero, "1.5");
    EXPECT_EQ(SentBy([zero] { QTest::keyClick(zero, Qt::Key_Return); }),
              (List{"C", "G0005", "L02105DC", "D0021"}));
    EXPECT_EQ(Arrow("UpDownAdjust", 1), (List{"C", "L02105DB", "D0021"}));
    EXPECT_EQ(Arrow("UpDownNullZero", 0), (List{"C", "L0390800", "D0039"}));
    window.Control<QAction>("mnuCalibrate")->trigger();
    EXPECT_FALSE(window.Control<QTabWidget>("SSTab1")->isTabVisible(Tab::Calibration));
}

TEST_F(CalibrationTabTest, EachButtonSendsItsTargetOrItsZeroAdjust) {
    EXPECT_EQ(Press("cmdCalibrateSetTarget"), (List{"A", "I1770", "B"}));
    prompter.Script(MessageAnswer::Cancel);
    prompter.Script(MessageAnswer::Ok);
    EXPECT_EQ(Press("cmdAutoAdjust"), List{}) << "cancelled";
    // Shifted by 1000 counts, the magnet reads 7.000; the readout runs from
    // the far end: 1000 + 24000 - 7000.
    EXPECT_EQ(Press("cmdAutoAdjust"), (List{"C", "G0005", "L02103E8", "D0021", "A", "A", "A", "A",
                                            "C", "L0214650", "D0021"}));
    EXPECT_EQ(Press("cmdMidPoint"), (List{"I2EE0", "B"}));
}

} // namespace
