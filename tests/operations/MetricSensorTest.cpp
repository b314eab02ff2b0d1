// A metric sensor of 0.01 mm: every parameter's limits as typed, and lengths
// entered, shown, calibrated, set as targets and graphed in millimetres.
#include "link/Commands.h"
#include "model/Limits.h"
#include "operations/Calibration.h"
#include "operations/Graph.h"
#include "operations/Pictograph.h"
#include "support/SimSession.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

// Read from a sensor of 234.58 mm (23458 counts), travel limits 12.34 and
// 200.00 mm, zero adjust -1.50 mm, resting at 50.00 mm; monitor stopped.
class MetricSensorTest : public test::SimSessionTest {
protected:
    MetricSensorTest() {
        QLocale::setDefault(QLocale::c());
        sim::SensorConfig config = test::SensorAt(1);
        config.resolution = "0.01";
        config.units = "mm";
        config.lengthCounts = 23458;
        config.startCounts = 5000;
        sim = &network.addSensor(config);
        sim->setParameter(Param::MinimumTravel, 1234);
        sim->setParameter(Param::MaximumTravel, 20000);
        sim->setParameter(Param::ZeroAdjust, static_cast<std::uint16_t>(EncodeZeroAdjust(-150)));
        ListAndRead(1);
        from = network.log().size();
    }
    ~MetricSensorTest() override { QLocale::setDefault(QLocale::system()); }

    sim::SimSensor* sim = nullptr;
    clsSensorData& data = session.sensor;
    std::size_t from = 0;
};

// How a value reaches the sensor: typed into a field that holds it to its
// limits (red), typed into a travel limit that Apply then refuses, typed on
// the Calibration tab (refused outside), or chosen or loaded from a file.
enum class Entry { Field, Travel, Calibration, Stored };

std::string Text(const QString& text) {
    return text.toStdString();
}

} // namespace

TEST_F(MetricSensorTest, EveryParameterHoldsItsLimitsAsTyped) {
    const struct {
        int index;
        const char* name;
        Entry entry;
        std::int32_t min, max;
        int otherIndex = 0; // a travel limit edited first
        std::int32_t other = 0;
    } rows[] = {
        {2, "Extend Gain ", Entry::Field, 1, 65535},
        {3, "Retract Gain ", Entry::Field, 1, 65535},
        {4, "Extend Acceleration ", Entry::Field, 1, 65535},
        {5, "Retract Acceleration ", Entry::Field, 1, 65535},
        {6, "Extend Deceleration Window ", Entry::Field, 1, 65535},
        {7, "Retract Deceleration Window  ", Entry::Field, 1, 65535},
        {8, "Extend Deceleration ", Entry::Field, 1, 65535},
        {9, "Retract Deceleration ", Entry::Field, 1, 65535},
        {10, "Extend Deadband", Entry::Field, 0, 65535},
        {11, "Retract Deadband ", Entry::Field, 0, 65535},
        {12, "Velocity Enable ", Entry::Stored, 0, 2},
        {14, "Extend Drive Limit", Entry::Field, 1, 255},
        {15, "Retract Drive Limit ", Entry::Field, 1, 255},
        {16, "Autonull Enable", Entry::Stored, 0, 1},
        {17, "Autonull Window", Entry::Field, 0, 65535},
        {18, "Jog Increment ", Entry::Stored, 0, 65535},
        {19, "Jog Maximum ", Entry::Stored, 0, 65535},
        {20, "Drive Polarity ", Entry::Stored, 0, 1},
        {30, "Minimum Travel ", Entry::Travel, 0, 20000}, // up to the maximum travel
        {30, "Minimum Travel ", Entry::Travel, 0, 15000, 31, 15000},
        {31, "Maximum Travel ", Entry::Travel, 1234, 23458}, // from the minimum to the length
        {31, "Maximum Travel ", Entry::Travel, 5000, 23458, 30, 5000},
        {32, "In Position Window ", Entry::Field, 1, 10000}, // half the maximum travel
        {33, "Zero Adjust ", Entry::Field, -32000, 32000},
        {33, "Zero Adjust ", Entry::Calibration, -31999, 31999},
        {35, "Sensor Length ", Entry::Stored, 0, 23458},
        {41, "Readout Direction ", Entry::Stored, 0, 1},
        {55, "Address ", Entry::Stored, 1, 26},
        {56, "Baud Rate ", Entry::Stored, 1, 4},
        {57, "Null Zero ", Entry::Calibration, 1, 4095},
        {58, "Motion / Set Enable Mode ", Entry::Stored, 0, 3},
        {59, "Cylinder Type ", Entry::Stored, 0, 1},
        {60, "Loop Time", Entry::Stored, 1, 3},
        {61, "Run Mode ", Entry::Stored, 0, 4},
        {62, "Output Mode ", Entry::Stored, 0, 3},
        {65, "Jog Velocity", Entry::Stored, 0, 4000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int reg = row.index;
        EXPECT_EQ(Text(data.ReadParameterName(reg, 0)), row.name);
        const auto edit = [this](int r, std::int32_t value) {
            data.WriteParameterData(r, 1, value);
        };
        if (row.otherIndex != 0) {
            edit(row.otherIndex, row.other);
        }
        for (const std::int32_t counts : {row.min - 1, row.min, row.max, row.max + 1}) {
            // Lengths are typed in millimetres, everything else in counts.
            const bool length = reg >= Param::MinimumTravel && reg <= Param::ZeroAdjust;
            const QString typed =
                length ? QString::number(counts / 100.0, 'f', 2) : QString::number(counts);
            std::optional<std::int32_t> stored = counts;
            bool red = false;
            if (row.entry == Entry::Field || row.entry == Entry::Travel) {
                const FieldEntry entry = CommitField(data, FieldOfRegister(reg), typed);
                stored = entry.value;
                red = entry.clamped;
            } else if (row.entry == Entry::Calibration) {
                stored = CalibrationEntry(data,
                                          reg == Param::NullZero ? CalibrationField::NullZero
                                                                 : CalibrationField::ZeroAdjust,
                                          typed);
            }
            // What Apply would write.
            const bool written = stored && ParameterLimits(data, reg).Contains(*stored);
            const QString outcome =
                written ? QString::number(*stored) + (red ? " red" : "") : "refused";
            const bool inside = counts >= row.min && counts <= row.max;
            const QString expected =
                inside ? QString::number(counts)
                : row.entry == Entry::Field
                    ? QString::number(std::clamp(counts, row.min, row.max)) + " red"
                    : "refused";
            EXPECT_EQ(Text(outcome), Text(expected)) << "typed " << Text(typed);
            edit(reg, data.ReadParameterData(reg, 0));
        }
        if (row.otherIndex != 0) {
            edit(row.otherIndex, data.ReadParameterData(row.otherIndex, 0));
        }
        // An option group offers exactly the values within the limits.
        for (const OptionGroupDef& group : OptionGroups()) {
            if (group.reg == reg) {
                EXPECT_EQ(OptionValue(group.group, 0), row.min);
                EXPECT_EQ(OptionValue(group.group, static_cast<int>(group.captions.size()) - 1),
                          row.max);
            }
        }
    }
}

TEST_F(MetricSensorTest, LengthsAreShownInMillimetres) {
    QStringList fields;
    for (const FieldShown& shown : ShowSettings(data, true).fields) {
        if (NumberFields().at(shown.field).unit == FieldUnit::Length) {
            fields.append(shown.text);
        }
    }
    EXPECT_EQ(fields, QStringList({"12.340", "200.000", "0.600", "-1.500"}));
    const QStringList tips = {" Enter a value for Minimum Travel   Range: 0.000mm to 200.000mm",
                              " Enter a value for Maximum Travel   Range: 12.340mm to 234.580mm",
                              " Enter a value for In Position Window   Range: 0.010mm to 100.000mm",
                              " Enter a value for Zero Adjust   Range: -32000 to 32000"};
    const FieldHelp help = SetFieldHelp(data);
    for (int i = 0; i < tips.size(); ++i) {
        EXPECT_EQ(Text(help.fields.at(13 + i).tip), Text(tips[i]));
    }
    const PictographView picture = Pictograph(data); // extend to 0: mirrored
    EXPECT_EQ(QStringList(picture.labels.begin(), picture.labels.end()),
              QStringList({"Sensor Length\r\n234.6mm", "Zero Adjust\r\n-1.500mm",
                           "Min. Limit\r\n12.340mm", "Max. Limit\r\n200.000mm"}));
    EXPECT_EQ(Text(SetpointEditHelp(data, session.TravelMinimum, session.TravelMaximum)),
              "Press <Enter> or <Click> on cell to change data\r\nTarget values in red are "
              "outside of 12.340 mm or 200.000 mm travel limits");

    QStringList readouts;
    QObject::connect(&session, &cSession::readoutShown,
                     [&](ReadoutPanel, Readout, const QString& text) { readouts.append(text); });
    Ticks(2);
    EXPECT_EQ(readouts, QStringList({"50.000", "50.000"})); // position, target
}

TEST_F(MetricSensorTest, SetpointsAreTypedShownAndSentInMillimetres) {
    const struct {
        int column;
        const char* typed;
        std::int32_t stored;
        const char* shown;
    } entries[] = {
        {TargetCell, "123.45", 12345, "123.450"},
        {VelocityCell, "55", 4000, "40.00"}, // velocity mode 1: up to 40.00 mm/s
        {DwellCell, "0.5", 50, "0.50"},
    };
    for (const auto& e : entries) {
        EXPECT_EQ(Text(CommitCellEdit(data, 4, e.column, e.typed).text), e.shown);
        EXPECT_EQ(data.ReadSetpointData(4, 2 + e.column), e.stored) << e.typed;
    }
    session.SetViewOnly(false);
    session.ShowSetpointWindow(4, true);
    EXPECT_EQ(Sent(from, "KI"), QList<QByteArray>({"K0FA0", "I3039"}));
    EXPECT_EQ(Text(session.SetpointWindowShown()[1].target), "123.450");

    // Within the length only: 234.59 mm is not written.
    CommitCellEdit(data, 4, TargetCell, "234.59");
    EXPECT_EQ(Text(session.PendingWrites().at(0).Text()),
              "Setpoint 4 target: 1923 23459  (will not be written: its target is outside its "
              "limits 0 to 23458)");

    // The cycle test runs from 1 mm above the minimum travel to 1 mm below
    // the length: bottom 1334, top 23358, an eighth 2753.
    ASSERT_TRUE(session.LoadSetpointTest(1));
    QStringList targets;
    for (int s = 0; s < 4; ++s) {
        targets.append(data.SetpointText(s, clsSensorData::EditedTargetColumn));
    }
    EXPECT_EQ(targets, QStringList({"233.580", "110.120", "13.340", "40.870"}));
}

TEST_F(MetricSensorTest, CalibrationTypesAndStepsInMillimetres) {
    sim->Respond("K0000", 0); // the cylinder stays where it is
    from = network.log().size();
    session.EnterCalibrationValue(CalibrationField::ZeroAdjust, "-2.5");
    session.StepCalibrationValue(CalibrationField::ZeroAdjust, 1);
    EXPECT_EQ(Text(CalibrationFieldText(data, CalibrationField::ZeroAdjust)), "-2.490");
    // The reading moved with the zero adjust, from -1.50 to 7.51 mm: the
    // magnet is at 59.01 mm, so 751 + (23458 - 5901).
    Answer({MessageAnswer::Ok});
    session.AutoZeroAdjust();
    session.SetTargetToMidpoint(); // 117.29 mm
    EXPECT_EQ(Sent(from, "LI"), QList<QByteArray>({"L021FF05", "L021FF06", "L02102EF",
                                                   "L021" + test::Hex(18308, 4), "I2DD1"}));
}

TEST_F(MetricSensorTest, TheGraphScalesToTheStrokeWithLimitsInMillimetres) {
    view.SelectTab(Tab::Graph);
    const GraphPlot plot = session.Graph.DrawGraph();
    // An eighth of the length (2932) above and below it.
    EXPECT_EQ(session.Graph.ScaleHeight(), 29322);
    EXPECT_EQ(plot.grid.at(0).y1, 29322 - 2932 - 20000);
    EXPECT_EQ(plot.grid.at(1).y1, 29322 - 2932 - 1234);
    EXPECT_EQ(Text(plot.minimumLabel), "12.34");
    EXPECT_EQ(Text(plot.maximumLabel), "200.00");
}
