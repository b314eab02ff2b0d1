#include "operations/Setpoints.h"

#include "model/Errors.h"
#include "model/Limits.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "operations/Editing.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace kelvar {

namespace {

const QString crlf = QStringLiteral("\r\n");

// The setpoint-table column a grid column edits.
std::int32_t EditedColumn(int column) {
    if (column < TargetCell || column > DwellCell) {
        throw SubscriptOutOfRange("setpoint grid column", column, TargetCell, DwellCell);
    }
    return clsSensorData::EditedTargetColumn + column - TargetCell;
}

// A count for a setpoint cell: whole, and within what the table holds.
std::int32_t ToCell(double value) {
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(RoundHalfEven(std::clamp(value, low, high)));
}

} // namespace

bool TargetOutOfLimits(const clsSensorData& data, std::int32_t target) {
    if (data.ParameterUnknown(Param::MinimumTravel, clsSensorData::ChangedDataColumn) ||
        data.ParameterUnknown(Param::MaximumTravel, clsSensorData::ChangedDataColumn)) {
        return false;
    }
    return target <=
               data.ReadParameterData(Param::MinimumTravel, clsSensorData::ChangedDataColumn) ||
           target > data.ReadParameterData(Param::MaximumTravel, clsSensorData::ChangedDataColumn);
}

int WrapSetpoint(const clsSensorData& data, int index) {
    if (index < 0) {
        return data.MaxSetpoints();
    }
    return index > data.MaxSetpoints() ? 0 : index;
}

SetpointWindowView SetpointWindow(clsSensorData& data, int index) {
    const int chosen = WrapSetpoint(data, index);
    const std::array<int, 3> rows = {WrapSetpoint(data, chosen - 1), chosen,
                                     WrapSetpoint(data, chosen + 1)};
    SetpointWindowView view;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int s = rows.at(i);
        view.at(i) = {SetpointNumber(s), data.SetpointText(s, clsSensorData::EditedTargetColumn),
                      data.SetpointText(s, clsSensorData::EditedVelocityColumn),
                      data.SetpointText(s, clsSensorData::EditedDwellColumn),
                      !data.SetpointUnknown(s, clsSensorData::EditedTargetColumn) &&
                          TargetOutOfLimits(
                              data, data.ReadSetpointData(s, clsSensorData::EditedTargetColumn))};
    }
    return view;
}

bool SetpointPending(clsSensorData& data, int setpoint) {
    data.ReadSetpointData(setpoint, clsSensorData::TargetColumn);
    return data.SetpointDataHasChanged();
}

// ------------------------------------------------------------ the grid

SetpointCells SetpointRowCells(clsSensorData& data, int setpoint) {
    const std::int32_t target = data.ReadSetpointData(setpoint, clsSensorData::EditedTargetColumn);
    const std::int32_t dwell = data.ReadSetpointData(setpoint, clsSensorData::EditedDwellColumn);
    SetpointCells cells;
    for (int column = TargetCell; column <= DwellCell; ++column) {
        cells.at(static_cast<std::size_t>(column - TargetCell)).text =
            data.SetpointText(setpoint, EditedColumn(column));
    }
    auto& [targetCell, velocityCell, dwellCell] = cells;
    if (data.SetpointUnknown(setpoint, clsSensorData::EditedTargetColumn)) {
        // No colour says anything of a value not read.
    } else if (target == 0) {
        targetCell.colour = CellColour::DarkBlue;
    } else if (TargetOutOfLimits(data, target)) {
        targetCell.colour = CellColour::Red;
    }
    // Judged by what the cell shows, in whole user units per second.
    const std::optional<double> velocity = ReadEnteredNumber(velocityCell.text);
    if (velocity && (RoundHalfEven(*velocity) < 0 || RoundHalfEven(*velocity) > 4096)) {
        velocityCell.colour = CellColour::Red;
    }
    if (dwell == 0) {
        dwellCell.colour = CellColour::DarkBlue;
    }
    return cells;
}

std::vector<SetpointGridRow> SetpointRows(clsSensorData& data, bool force) {
    std::vector<SetpointGridRow> rows;
    const int last = std::min<int>(data.MaxSetpoints(), SetpointGridRows - 1);
    for (int s = 0; s <= last; ++s) {
        if (force || SetpointPending(data, s)) {
            rows.push_back({s, SetpointRowCells(data, s)});
        }
    }
    return rows;
}

std::array<bool, SetpointGridRows> MarkedSetpoints(clsSensorData& data) {
    std::array<bool, SetpointGridRows> marked{};
    for (int s = 0; s < SetpointGridRows; ++s) {
        const std::int32_t target = data.ReadSetpointData(s, clsSensorData::EditedTargetColumn);
        marked.at(static_cast<std::size_t>(s)) = target != 0 && TargetOutOfLimits(data, target);
    }
    return marked;
}

CellEntry CommitCellEdit(clsSensorData& data, int setpoint, int column, const QString& text) {
    const std::int32_t edited = EditedColumn(column);
    CellEntry entry;
    entry.text = data.SetpointText(setpoint, edited);
    const std::optional<double> number = ReadEnteredNumber(text);
    if (!number) {
        entry.refused = true;
        return entry;
    }
    // The text the cell was opened with: nothing was typed.
    if (text.trimmed() == entry.text) {
        return entry;
    }
    // A minus sign cannot be typed, but it can be pasted.
    double value = std::max(*number, 0.0);
    entry.clamped = *number < 0;
    double counts = 0;
    switch (column) {
    case TargetCell:
        counts = CountsOfLength(value, data);
        break;
    case VelocityCell: {
        // The scale is VELOCITY ENABLE's: without it a velocity is a guess.
        if (data.ParameterUnknown(Param::VelocityEnable, clsSensorData::ChangedDataColumn)) {
            entry.refused = true;
            entry.refusal = QStringLiteral("Velocity Enable was not read, so the velocity's scale "
                                           "is not known. Choose a Velocity Response first.");
            return entry;
        }
        const bool slow = data.VelocityValue() == 1;
        const double top = slow ? 40 : 400;
        entry.clamped = entry.clamped || value > top;
        counts = std::min(value, top) * (slow ? 100 : 10);
        break;
    }
    default:
        counts = value * 100;
        break;
    }
    const int field = column - TargetCell;
    if (const ValueLimits holds = SetpointFieldLimits(field); ToCell(counts) > holds.high) {
        entry.refused = true;
        entry.refusal = QStringLiteral("Setpoint %1 %2 %3 is more than the sensor can hold: it "
                                       "takes %4 to %5. The cell keeps %6.")
                            .arg(SetpointNumber(setpoint))
                            .arg(SetpointFieldName(field), text.trimmed(),
                                 SetpointValueText(data, field, holds.low),
                                 SetpointValueText(data, field, holds.high), entry.text);
        return entry;
    }
    data.WriteSetpointData(setpoint, edited, ToCell(counts));
    entry.text = data.SetpointText(setpoint, edited);
    return entry;
}

QString SetpointEditHelp() {
    return QStringLiteral("Press <Enter> or <Click> on cell to change data") + crlf +
           QStringLiteral("Target values in red are beyond minimum or maximum travel limits");
}

QString SetpointEditHelp(const clsSensorData& data, double minTravel, double maxTravel) {
    return QStringLiteral("Press <Enter> or <Click> on cell to change data") + crlf +
           QStringLiteral("Target values in red are outside of ") +
           FormatLength(minTravel, true, data) + QStringLiteral(" or ") +
           FormatLength(maxTravel, true, data) + QStringLiteral(" travel limits");
}

// ------------------------------------------------------- test sequences

QString SetpointTestHelp(SetpointTestFocus focus) {
    if (focus == SetpointTestFocus::Option) {
        return QStringLiteral("Select a setpoint test sequence to run and ") +
               QStringLiteral("<CLICK> the '") + QLatin1String(SetpointTestButtonCaption) +
               QStringLiteral("' button to load the test sequence into the setpoint table.");
    }
    return QStringLiteral("Test sequence loaded into the setpoint table. ") + crlf + crlf +
           QStringLiteral("Please check the sequence on the Setpoints Tab, ") +
           QStringLiteral(" make any changes, then <CLICK> the '") +
           QLatin1String(ApplyButtonCaption) +
           QStringLiteral("' button to load the test sequence into the sensor.");
}

namespace {

// A value of a test sequence's row that the sequence leaves as it was.
constexpr std::int64_t Keep = std::numeric_limits<std::int64_t>::min();

struct TestRow {
    int setpoint;
    std::int64_t target;
    std::int64_t velocity;
    std::int64_t dwell;
};

void WriteTestRows(clsSensorData& data, const std::vector<TestRow>& rows) {
    for (const TestRow& row : rows) {
        for (const auto& [column, value] :
             {std::pair{clsSensorData::EditedTargetColumn, row.target},
              std::pair{clsSensorData::EditedVelocityColumn, row.velocity},
              std::pair{clsSensorData::EditedDwellColumn, row.dwell}}) {
            if (value != Keep) {
                data.WriteSetpointData(row.setpoint, column, ToCell(static_cast<double>(value)));
            }
        }
    }
}

// Targets spread evenly between the sensor's travel limits, 50 counts in
// from each.
std::vector<TestRow> EvenSpread(const clsSensorData& data) {
    const std::int64_t minTravel =
        data.ReadParameterData(Param::MinimumTravel, clsSensorData::SensorDataColumn);
    const std::int64_t maxTravel =
        data.ReadParameterData(Param::MaximumTravel, clsSensorData::SensorDataColumn);
    // A table of one setpoint has no spread to divide.
    const int last = std::max<int>(data.MaxSetpoints(), 1);
    const double span = static_cast<double>((maxTravel - 50) - (minTravel + 50));
    const std::int64_t step = RoundHalfEven(span / last - 2);
    std::vector<TestRow> rows;
    for (int i = 0; i <= last; ++i) {
        rows.push_back({i, minTravel + (i + 1) * step, 200, 10});
    }
    rows.push_back({59, 0, Keep, Keep});
    return rows;
}

// Cycles between one user unit above the edited minimum travel and one below
// the sensor's length; the complex one alters velocity and dwell on the way.
std::vector<TestRow> CycleTest(const clsSensorData& data, bool complex) {
    const float resolution = data.Resolution();
    const std::int64_t length =
        data.ReadParameterData(Param::SensorLength, clsSensorData::SensorDataColumn);
    const float minTravel = static_cast<float>(data.ReadParameterData(
                                Param::MinimumTravel, clsSensorData::ChangedDataColumn)) *
                            resolution;
    const std::int64_t top = length - RoundHalfEven(1.0F / resolution);
    const std::int64_t bottom = RoundHalfEven((minTravel + 1.0F) / resolution);
    const std::int64_t step8 = RoundHalfEven(static_cast<double>(top - bottom) / 8);
    const std::int64_t half = RoundHalfEven(static_cast<double>(top - bottom) / 2);
    std::vector<TestRow> rows;
    if (!complex) {
        rows = {{0, top, 200, 50}, {1, half, 200, 100}, {2, bottom, 200, 200}};
        for (int k = 3; k <= 10; ++k) {
            rows.push_back({k, bottom + (k - 2) * step8, 200, 75});
        }
        rows.insert(rows.end(), {{11, bottom, 200, 10}, {12, 0, 200, Keep}});
    } else {
        rows = {{0, top, Keep, 50},
                {1, 2 * bottom, 100, 0},
                {2, bottom, Keep, 200},
                {3, bottom + step8, 100, 0}};
        for (int k = 4; k <= 10; ++k) {
            rows.push_back({k, bottom + (k - 2) * step8, Keep, 75});
        }
        rows.insert(rows.end(), {{11, bottom, 100, 0}, {12, 0, Keep, Keep}});
    }
    rows.push_back({59, 0, Keep, Keep});
    return rows;
}

} // namespace

void FillSetpointTest(clsSensorData& data, int option) {
    WriteTestRows(data,
                  option == 1 || option == 2 ? CycleTest(data, option == 2) : EvenSpread(data));
}

} // namespace kelvar
