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
    }
    ~MetricSensorTest() override { QLocale::setDefault(QLocale::system()); }

    sim::SimSensor* sim = nullptr;
    clsSensorData& data = session.sensor;
};

// How a value reaches the sensor: typed into a field that holds it to its
// limits (shown red), typed as a travel limit that Apply refuses outside
// them, typed on the Calibration tab (refused outside), or chosen or loaded
// from a file.
enum class Entry { Field, Travel, Calibration, Stored };

} // namespace

TEST_F(MetricSensorTest, EveryParameterHoldsItsLimitsAsTyped) {
    // The travel limits are held to each other and to the length (rows with a
    // last pair edit the other one first), the in-position window to half the
    // maximum travel; the calibration fields exclude their limits.
    constexpr Entry F = Entry::Field, T = Entry::Travel, C = Entry::Calibration, S = Entry::Stored;
    const struct {
        int index;
        const char* name;
        std::int32_t type; // 4: a change asks for a power cycle
        Entry entry;
        std::int32_t min, max;
        int other = 0;
        std::int32_t otherValue = 0;
    } rows[] = {
        {2, "Extend Gain ", 1, F, 1, 65535},
        {3, "Retract Gain ", 1, F, 1, 65535},
        {4, "Extend Acceleration ", 1, F, 1, 65535},
        {5, "Retract Acceleration ", 1, F, 1, 65535},
        {6, "Extend Deceleration Window ", 1, F, 1, 65535},
        {7, "Retract Deceleration Window  ", 1, F, 1, 65535},
        {8, "Extend Deceleration ", 1, F, 1, 65535},
        {9, "Retract Deceleration ", 1, F, 1, 65535},
        {10, "Extend Deadband", 1, F, 0, 65535},
        {11, "Retract Deadband ", 1, F, 0, 65535},
        {12, "Velocity Enable ", 4, S, 0, 2},
        {14, "Extend Drive Limit", 1, F, 1, 255},
        {15, "Retract Drive Limit ", 1, F, 1, 255},
        {16, "Autonull Enable", 1, S, 0, 1},
        {17, "Autonull Window", 1, F, 0, 65535},
        {18, "Jog Increment ", 1, S, 0, 65535},
        {19, "Jog Maximum ", 1, S, 0, 65535},
        {20, "Drive Polarity ", 1, S, 0, 1},
        {30, "Minimum Travel ", 1, T, 0, 20000},
        {30, "Minimum Travel ", 1, T, 0, 15000, 31, 15000},
        {31, "Maximum Travel ", 1, T, 1234, 23458},
        {31, "Maximum Travel ", 1, T, 5000, 23458, 30, 5000},
        {31, "Maximum Travel ", 1, T, 1234, 23458, 35, 30000}, // the length as read
        {32, "In Position Window ", 1, F, 1, 10000},
        {33, "Zero Adjust ", 1, F, -32000, 32000},
        {33, "Zero Adjust ", 1, C, -31999, 31999},
        {35, "Sensor Length ", 2, S, 0, 23458},
        {41, "Readout Direction ", 1, S, 0, 1},
        {55, "Address ", 4, S, 1, 26},
        {56, "Baud Rate ", 4, S, 1, 4},
        {57, "Null Zero ", 2, C, 1, 4095},
        {58, "Motion / Set Enable Mode ", 4, S, 0, 3},
        {59, "Cylinder Type ", 4, S, 0, 1},
        {60, "Loop Time", 4, S, 1, 3},
        {61, "Run Mode ", 4, S, 0, 4},
        {62, "Output Mode ", 4, S, 0, 3},
        {65, "Jog Velocity", 8, S, 0, 4000},
    };
    const auto edit = [this](int reg, std::int32_t value) {
        data.WriteParameterData(reg, 1, value);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int reg = row.index;
        EXPECT_EQ(data.ReadParameterName(reg, 0).toStdString(), row.name);
        EXPECT_EQ(data.ReadParameterData(reg, clsSensorData::DataTypeColumn), row.type);
        edit(row.other, row.otherValue);
        if (row.entry != C) { // what Apply holds the value to
            const ValueLimits limits = ParameterLimits(data, reg);
            EXPECT_EQ(std::pair(limits.low, limits.high), std::pair(row.min, row.max));
        }
        for (const std::int32_t counts : {row.min - 1, row.min, row.max, row.max + 1}) {
            // Lengths are typed in millimetres, everything else in counts.
            const QString typed = reg >= Param::MinimumTravel && reg <= Param::ZeroAdjust
                                      ? QString::number(counts / 100.0, 'f', 2)
                                      : QString::number(counts);
            std::optional<std::int32_t> stored = counts;
            bool red = false;
            if (row.entry == F || row.entry == T) {
                const FieldEntry entry = CommitField(data, FieldOfRegister(reg), typed);
                stored = entry.value;
                red = entry.clamped;
            } else if (row.entry == C) {
                stored = CalibrationEntry(data,
                                          reg == Param::NullZero ? CalibrationField::NullZero
                                                                 : CalibrationField::ZeroAdjust,
                                          typed);
            }
            const bool written = stored && ParameterLimits(data, reg).Contains(*stored); // by Apply
            const bool inside = counts >= row.min && counts <= row.max;
            const std::int32_t held = std::clamp(counts, row.min, row.max);
            EXPECT_EQ(written ? std::to_string(*stored) + (red ? " red" : "") : "refused",
                      inside           ? std::to_string(counts)
                      : row.entry == F ? std::to_string(held) + " red"
                                       : "refused")
                << "typed " << typed.toStdString();
            edit(reg, data.ReadParameterData(reg, 0));
        }
        edit(row.other, data.ReadParameterData(row.other, 0));
        // An option group offers exactly the values within the limits.
        for (const OptionGroupDef& group : OptionGroups()) {
            if (group.reg == reg) {
                EXPECT_EQ(OptionValue(group.group, 0), row.min);
                EXPECT_EQ(OptionValue(group.group, static_cast<int>(group.captions.size()) - 1),
                          row.max);
            }
        }
    }
    // A setpoint's target within the length, its velocity and dwell within their fields.
    for (const auto& [field, high] : {std::pair{0, 23458}, {1, 4000}, {2, 65535}}) {
        const ValueLimits limits = SetpointLimits(data, field);
        EXPECT_EQ(std::pair(limits.low, limits.high), std::pair(0, high)) << "setpoint " << field;
    }
}

TEST_F(MetricSensorTest, LengthsAreShownInMillimetres) {
    QStringList fields;
    for (int field = 13; field < NumberFieldCount; ++field) {
        fields << FieldText(data, field);
    }
    for (const FieldTip& tip : SetFieldHelp(data).fields) {
        if (tip.field >= 13) { // in millimetres, but the zero adjust's in counts
            fields << tip.tip.section(QStringLiteral("Range: "), 1);
        }
    }
    EXPECT_EQ(fields,
              QStringList({"12.340", "200.000", "0.600", "-1.500", "0.000mm to 200.000mm",
                           "12.340mm to 234.580mm", "0.010mm to 100.000mm", "-32000 to 32000"}));
    const auto labels = [this] {
        const PictographView view = Pictograph(data);
        return QStringList(view.labels.begin(), view.labels.end()) << view.windowLabels[0];
    };
    const QStringList mirrored = labels(); // extend to 0
    EXPECT_EQ(mirrored, QStringList({"Sensor Length\r\n234.6mm", "Zero Adjust\r\n-1.500mm",
                                     "Min. Limit\r\n12.340mm", "Max. Limit\r\n200.000mm",
                                     "In Position Window\r\n0.600mm"}));
    EXPECT_TRUE(Pictograph(data).mirrored);
    data.WriteParameterData(Param::ReadoutDirection, 1, 0); // retract to 0
    EXPECT_EQ(labels(),
              QStringList({mirrored[1], mirrored[0], mirrored[3], mirrored[2], mirrored[4]}));
    EXPECT_FALSE(Pictograph(data).mirrored);

    QStringList readouts;
    QObject::connect(&session.monitor, &cMonitorFlow::readoutShown,
                     [&](ReadoutPanel, Readout, const QString& text) { readouts.append(text); });
    Ticks(2);
    EXPECT_EQ(readouts, QStringList({"50.000", "50.000"})); // position, target
}

TEST_F(MetricSensorTest, SetpointsAreTypedShownAndSentInMillimetres) {
    EXPECT_EQ(CommitCellEdit(data, 4, TargetCell, "123.45").text.toStdString(), "123.450");
    EXPECT_EQ(CommitCellEdit(data, 4, VelocityCell, "55").text.toStdString(),
              "40.00"); // mode 1: mm/s
    session.setpoints.SetViewOnly(false);
    session.setpoints.ShowSetpointWindow(4, true);
    EXPECT_EQ(Sent(from, "KI"), QList<QByteArray>({"K0FA0", "I3039"})); // 4000, 12345

    // Within the length only: 234.59 mm is not written.
    CommitCellEdit(data, 4, TargetCell, "234.59");
    EXPECT_EQ(session.apply.PendingWrites().at(0).Text().toStdString(),
              "Setpoint 5 target: 19.230 mm -> 234.590 mm  (will not be written: its target is "
              "outside its limits 0.000 mm to 234.580 mm)");

    // The cycle test runs from 1 mm above the minimum travel to 1 mm below
    // the length: bottom 1334, top 23358, an eighth 2753.
    ASSERT_TRUE(session.setpoints.LoadSetpointTest(1));
    QStringList targets;
    for (int s = 0; s < 4; ++s) {
        targets.append(data.SetpointText(s, clsSensorData::EditedTargetColumn));
    }
    EXPECT_EQ(targets, QStringList({"233.580", "110.120", "13.340", "40.870"}));
}

TEST_F(MetricSensorTest, CalibrationTypesAndStepsInMillimetres) {
    sim->Respond("K0000", 0); // the cylinder stays where it is
    from = network.log().size();
    session.calibration.EnterCalibrationValue(CalibrationField::ZeroAdjust, "-2.5");
    session.calibration.StepCalibrationValue(CalibrationField::ZeroAdjust, 1);
    EXPECT_EQ(CalibrationFieldText(data, CalibrationField::ZeroAdjust).toStdString(), "-2.490");
    // The reading moved with the zero adjust, from -1.50 to 7.51 mm: the
    // magnet is at 59.01 mm, so 751 + (23458 - 5901).
    Answer({MessageAnswer::Ok});
    session.calibration.AutoZeroAdjust();
    session.calibration.SetTargetToMidpoint(); // 117.29 mm
    EXPECT_EQ(Sent(from, "LI"), QList<QByteArray>({"L021FF05", "L021FF06", "L02102EF",
                                                   "L021" + test::Hex(18308, 4), "I2DD1"}));
}

TEST_F(MetricSensorTest, TheGraphScalesToTheStrokeWithLimitsInMillimetres) {
    // Limits edited but not written: the chart shows those the sensor holds.
    session.sensor.WriteParameterData(Param::MinimumTravel, clsSensorData::ChangedDataColumn, 3000);
    session.sensor.WriteParameterData(Param::MaximumTravel, clsSensorData::ChangedDataColumn, 9000);
    view.SelectTab(Tab::Graph);
    const GraphPlot plot = session.graph.Chart().DrawGraph();
    // An eighth of the length (2932) above and below it.
    EXPECT_EQ(session.graph.Chart().ScaleHeight(), 29322);
    EXPECT_EQ(plot.grid.at(0).y1, 29322 - 2932 - 20000);
    EXPECT_EQ(plot.grid.at(1).y1, 29322 - 2932 - 1234);
    EXPECT_EQ(plot.minimumLabel.toStdString(), "12.34");
    EXPECT_EQ(plot.maximumLabel.toStdString(), "200.00");
}
