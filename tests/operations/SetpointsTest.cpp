// Setpoint grid, cell entry, test sequences and the setpoint buttons.
#include "operations/Setpoints.h"

#include "model/SensorData.h"
#include "support/ColumnsApart.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class SetpointsTest : public ::testing::Test {
protected:
    SetpointsTest() {
        QLocale::setDefault(QLocale::c());
        InitParameterTable(data);
        test::FillColumnsApart(data);
        data.setMaxSetpoints(59);
    }
    ~SetpointsTest() override { QLocale::setDefault(QLocale::system()); }

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
        {1250, 200, 10, {Red, Black, Black}, true},     // at the edited minimum: outside
        {20000, 200, 10, {Black, Black, Black}, false}, // at the edited maximum: inside
        {20001, 40970, 0, {Red, Red, Blue}, true},      // 4097.0 per second
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
        {0.002F, 0, TargetCell, "1.000", 500, "1.000"}, // shown as typed
        {0.002F, 0, TargetCell, "2.000", 1000, "2.000"},
        {0.002F, 0, TargetCell, "140", 1000, "2.000"}, // refused: more than 65535 counts
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
    EXPECT_EQ(CommitCellEdit(data, 7, TargetCell, "70").refusal,
              "Setpoint 8 target 70 is more than the sensor can hold: it takes 0.000 in to "
              "65.535 in. The cell keeps 1.000.");
}

TEST_F(SetpointsTest, TestSequencesFollowTheTravelLimitsAndLength) {
    // Even spread (option -1: none ticked) over the read limits: step
    // round(11650 / 59 - 2) = 195. Cycles: top 24000 (read length) - 1000 =
    // 23000, bottom 1250 (edited minimum) + 1000 = 2250, step8 round(20750 /
    // 8) = 2594, half 10375; 77 and 33 were there before.
    const struct {
        int option, setpoint;
        std::array<std::int32_t, 3> edited;
    } rows[] = {{-1, 0, {445, 200, 10}}, {-1, 58, {11755, 200, 10}}, {-1, 59, {0, 200, 10}},
                {1, 3, {4844, 200, 75}}, {1, 10, {23002, 200, 75}},  {1, 12, {0, 200, 33}},
                {2, 0, {23000, 77, 50}}, {2, 3, {4844, 100, 0}},     {2, 4, {7438, 77, 75}},
                {2, 11, {2250, 100, 0}}};
    for (const auto& row : rows) {
        data.ClearSetpoints();
        data.setMaxSetpoints(59);
        data.WriteSetpointData(row.setpoint, 4, 77);
        data.WriteSetpointData(row.setpoint, 5, 33);
        FillSetpointTest(data, row.option);
        const int sp = row.setpoint;
        EXPECT_EQ((std::array{data.ReadSetpointData(sp, 3), data.ReadSetpointData(sp, 4),
                              data.ReadSetpointData(sp, 5)}),
                  row.edited)
            << row.option << " " << sp;
    }
}

TEST_F(SetpointsTest, DisplayWrapsFromSixtyToOneAndBackShowingTheEditedValues) {
    for (const auto& [column, value] : {std::pair{3, 15000}, {4, 67}, {5, 89}}) {
        data.WriteSetpointData(59, column, value);
    }
    for (const auto& [index, numbers] : {std::pair{59, std::array{59, 60, 1}}, {0, {60, 1, 2}}}) {
        const SetpointWindowView rows = SetpointWindow(data, index);
        EXPECT_EQ((std::array{rows[0].number, rows[1].number, rows[2].number}), numbers) << index;
    }
    // Within the edited travel limits, not within those read.
    const SetpointRowView last = SetpointWindow(data, 0)[0];
    EXPECT_EQ((QStringList{last.target, last.velocity, last.dwell}),
              (QStringList{"15.000", "6.7", "0.89"}));
    EXPECT_FALSE(last.targetOutOfLimits);
}

using SetpointMovesTest = test::ColumnsApartTest;

TEST_F(SetpointMovesTest, TestSequencesMoveNothingWhenLoadedAndTheirButtonsSendTheirValues) {
    ReadApart();
    session.setpoints.SetViewOnly(false);
    // Top 23000 (59D8), twice the bottom 4500 (1194), half 10375 (2887), the
    // even spread's 445 (01BD) and 640 (0280), as in the test above; the
    // velocity read is 20 (0014). The top lies beyond the maximum travel read:
    // its button asks first.
    Answer({MessageAnswer::Yes, MessageAnswer::Yes});
    for (const auto& [option, sent] :
         {std::pair<int, QList<QByteArray>>{2, {"K0014", "I59D8", "K0064", "I1194"}},
          {1, {"K00C8", "I59D8", "K00C8", "I2887"}},
          {0, {"K00C8", "I01BD", "K00C8", "I0280"}}}) {
        from = network.log().size();
        EXPECT_TRUE(session.setpoints.LoadSetpointTest(option));
        for (const int button : {1, 2}) {
            session.setpoints.RequestSetpoint(button - 1);
            session.monitor.Tick();
        }
        session.monitor.Stop();
        EXPECT_EQ(Sent(from, "KI"), sent) << option; // buttons 1 and 2
    }
}
