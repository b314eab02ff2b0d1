// Setpoint grid, cell entry, test sequences and the setpoint buttons.
#include "operations/Setpoints.h"

#include "model/Parameters.h"
#include "support/SimSession.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class SetpointsTest : public ::testing::Test {
protected:
    SetpointsTest() {
        QLocale::setDefault(QLocale::c());
        InitParameterTable(data);
        for (const auto& [reg, value] : {std::pair{Param::MinimumTravel, 250},
                                         {Param::MaximumTravel, 12000},
                                         {Param::SensorLength, 24000}}) {
            data.WriteParameterData(reg, clsSensorData::SensorDataColumn, value);
            data.WriteParameterData(reg, clsSensorData::ChangedDataColumn, value);
        }
        data.setMaxSetpoints(59);
    }
    ~SetpointsTest() override { QLocale::setDefault(QLocale::system()); }

    // Target, velocity and dwell of a setpoint as edited.
    std::array<std::int32_t, 3> Edited(int s) {
        return {data.ReadSetpointData(s, 3), data.ReadSetpointData(s, 4),
                data.ReadSetpointData(s, 5)};
    }

    clsSensorData data;
};

using Cells = std::array<CellColour, 3>;
constexpr auto Black = CellColour::Black;
constexpr auto Red = CellColour::Red;
constexpr auto Blue = CellColour::DarkBlue;

} // namespace

TEST_F(SetpointsTest, CellsAreRedOutsideTheLimitsAndBlueAtZero) {
    const struct {
        std::int32_t target, velocity, dwell;
        Cells colours;
        bool marked;
    } rows[] = {
        {250, 200, 10, {Red, Black, Black}, true},      // at the minimum: outside
        {12000, 200, 10, {Black, Black, Black}, false}, // at the maximum: inside
        {12001, 40970, 0, {Red, Red, Blue}, true},      // 4097.0 per second
        {0, 40960, 10, {Blue, Black, Black}, false},    // 4096.0 is still in
    };
    for (int s = 0; s < 4; ++s) {
        data.WriteSetpointData(s, 3, rows[s].target);
        data.WriteSetpointData(s, 4, rows[s].velocity);
        data.WriteSetpointData(s, 5, rows[s].dwell);
    }
    const auto marked = MarkedSetpoints(data);
    for (int s = 0; s < 4; ++s) {
        const SetpointCells cells = SetpointRowCells(data, s);
        EXPECT_EQ((Cells{cells[0].colour, cells[1].colour, cells[2].colour}), rows[s].colours) << s;
        EXPECT_EQ(marked.at(s), rows[s].marked) << s;
    }
    EXPECT_EQ(SetpointRows(data, false).size(), 4U) << "only the changed rows";
}

TEST_F(SetpointsTest, EntriesAreConvertedClampedOrRefused) {
    const struct {
        float resolution;
        std::int16_t velocityValue;
        int column;
        const char* typed;
        std::int32_t stored;
        const char* shown;
    } entries[] = {
        {0.001F, 0, TargetCell, "12.5", 12500, "12.500"},
        {0.002F, 0, TargetCell, "1.000", 1000, "2.000"}, // counts doubled
        {0.002F, 0, TargetCell, "2.000", 1000, "2.000"}, // left as shown: not doubled again
        {0.001F, 1, VelocityCell, "55", 4000, "40.00"},
        {0.001F, 0, VelocityCell, "55", 550, "55.0"},
        {0.001F, 0, VelocityCell, "999", 4000, "400.0"},
        {0.001F, 0, DwellCell, "0.125", 12, "0.12"}, // half to even
        {0.001F, 0, DwellCell, "0.5", 50, "0.50"},
        {0.001F, 0, DwellCell, "", 50, "0.50"},  // refused: the previous dwell
        {0.001F, 0, DwellCell, "-3", 0, "0.00"}, // pasted: no negative dwell
    };
    for (const auto& e : entries) {
        data.setResolution(e.resolution);
        data.setVelocityValue(e.velocityValue);
        const CellEntry entry = CommitCellEdit(data, 7, e.column, QString::fromLatin1(e.typed));
        EXPECT_EQ(data.ReadSetpointData(7, 2 + e.column), e.stored) << e.typed;
        EXPECT_EQ(entry.text, e.shown) << e.typed;
    }
}

TEST_F(SetpointsTest, TestSequencesFollowTheTravelLimitsAndLength) {
    // Even spread (option -1: none ticked): step round(11650 / 59 - 2) = 195.
    // Cycles: top 24000 - 1000 = 23000, bottom 250 + 1000 = 1250, step8
    // round(21750 / 8) = 2719, half 10875; 77 and 33 were there before.
    const struct {
        int option, setpoint;
        std::array<std::int32_t, 3> edited;
    } rows[] = {{-1, 0, {445, 200, 10}},   {-1, 58, {11755, 200, 10}}, {-1, 59, {0, 200, 10}},
                {1, 0, {23000, 200, 50}},  {1, 1, {10875, 200, 100}},  {1, 3, {3969, 200, 75}},
                {1, 10, {23002, 200, 75}}, {1, 12, {0, 200, 33}},      {2, 0, {23000, 77, 50}},
                {2, 1, {2500, 100, 0}},    {2, 3, {3969, 100, 0}},     {2, 4, {6688, 77, 75}},
                {2, 11, {1250, 100, 0}}};
    for (const auto& row : rows) {
        data.ClearSetpoints();
        data.setMaxSetpoints(59);
        data.WriteSetpointData(row.setpoint, 4, 77);
        data.WriteSetpointData(row.setpoint, 5, 33);
        FillSetpointTest(data, row.option);
        EXPECT_EQ(Edited(row.setpoint), row.edited) << row.option << " " << row.setpoint;
    }
}

namespace {
using SetpointSessionTest = test::SimSessionTest;
}

TEST_F(SetpointSessionTest, ButtonsMoveOnlyWithoutViewOnlyAndATestNeedsTheLimitsRead) {
    AddSensor(1);
    ListAndRead(1);
    EXPECT_TRUE(session.ViewOnly) << "ticked by the read";
    EXPECT_EQ(QLocale().toDouble(session.SetpointWindowShown()[1].target), 0.393);

    const auto pressAndTick = [this](int button) {
        const std::size_t from = network.log().size();
        session.RequestSetpoint(button);
        session.MonitorTick();
        QList<QByteArray> moves;
        for (const QByteArray& request : Requests(from)) {
            if (request.startsWith('K') || request.startsWith('I')) {
                moves.append(request);
            }
        }
        return moves;
    };
    EXPECT_TRUE(pressAndTick(3).isEmpty());
    session.SetViewOnly(false);
    EXPECT_EQ(pressAndTick(3),
              (QList<QByteArray>{"K" + test::Hex(20, 4), "I" + test::Hex(1574, 4)}));

    DropWhile(QStringLiteral("Reading Parameters..."));
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.LoadSensor(cSession::ReloadCurrent);
    EXPECT_FALSE(session.LoadSetpointTest(0));
    EXPECT_EQ(view.prompter.asked.last().title, "Setpoint Test");
}
