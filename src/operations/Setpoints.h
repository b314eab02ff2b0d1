#pragma once

#include "model/SensorData.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace kelvar {

// True when a target (counts) lies outside the edited travel limits: at or
// below the minimum travel, or above the maximum. A target equal to the
// maximum is inside. False while a travel limit is not known.
bool TargetOutOfLimits(const clsSensorData& data, std::int32_t target);

// One row of the setpoint display: previous, chosen and next setpoint.
struct SetpointRowView {
    int number = 0; // as shown: the setpoint's index plus 1
    QString target;
    QString velocity;
    QString dwell;
    bool targetOutOfLimits = false; // drawn in red
};
using SetpointWindowView = std::array<SetpointRowView, 3>;

// The setpoint index wrapped into 0 .. MaxSetpoints: below 0 becomes
// MaxSetpoints, above it 0.
int WrapSetpoint(const clsSensorData& data, int index);
// The three rows around setpoint index (wrapped), from the edited columns.
SetpointWindowView SetpointWindow(clsSensorData& data, int index);

// True when any edited column of the setpoint differs from the one read; the
// setpoint becomes the record's current one.
bool SetpointPending(clsSensorData& data, int setpoint);

// ------------------------------------------------------------ the grid

// Rows 1 to 60 of the grid hold setpoints 0 to 59; columns 1 to 3 their
// target, velocity and dwell.
inline constexpr int SetpointGridRows = 60;
inline constexpr int TargetCell = 1;
inline constexpr int VelocityCell = 2;
inline constexpr int DwellCell = 3;

enum class CellColour { Black, Red, DarkBlue };
struct SetpointCell {
    QString text;
    CellColour colour = CellColour::Black;
};
// Target, velocity and dwell of one grid row.
using SetpointCells = std::array<SetpointCell, 3>;
struct SetpointGridRow {
    int setpoint;
    SetpointCells cells;
};

// A row's cells from the edited columns: a non-zero target outside the
// travel limits in red, a target or dwell of 0 in dark blue, a velocity
// shown as below 0 or above 4096 in red.
SetpointCells SetpointRowCells(clsSensorData& data, int setpoint);
// The rows of the setpoints 0 .. MaxSetpoints (within the grid) that have a
// pending change, or of all of them when forced.
std::vector<SetpointGridRow> SetpointRows(clsSensorData& data, bool force);
// Per setpoint button (setpoints 0 to 59): its caption is underlined, since
// the setpoint's edited target is non-zero and outside the travel limits.
std::array<bool, SetpointGridRows> MarkedSetpoints(clsSensorData& data);

// The outcome of closing the edit box over a cell.
struct CellEntry {
    bool refused = false; // not a number, or beyond the field: the previous text is back
    bool clamped = false; // held to the highest (or lowest) value the cell takes
    QString text;         // what the cell shows afterwards
    QString refusal;      // why a number was refused, for a message; empty when none was
};
// Checks and stores the text typed into a grid cell (column 1 target, 2
// velocity, 3 dwell) in the setpoint's edited column; a number beyond what
// the field holds on the wire is refused. A text that is still
// what the cell shows for the stored value stores nothing: leaving a cell
// unchanged never changes it.
CellEntry CommitCellEdit(clsSensorData& data, int setpoint, int column, const QString& text);

// The help under the grid: before a sensor was read, and with the travel
// limits of the sensor that was (user units).
QString SetpointEditHelp();
QString SetpointEditHelp(const clsSensorData& data, double minTravel, double maxTravel);

// ------------------------------------------------------- test sequences

inline constexpr std::array<const char*, 3> SetpointTestCaptions = {
    "Even Spread Over Stroke Length", "Compound Cycle Mode Test Over Sensor Length",
    "Complex Cycle Mode Test Over Sensor Length"};
inline constexpr char SetpointTestButtonCaption[] = "Load Setpoint Table";
inline constexpr char ApplyButtonCaption[] = "Apply";

// What has the focus in the test-sequence frame: an option, or the button.
enum class SetpointTestFocus { Option, Button };
QString SetpointTestHelp(SetpointTestFocus focus);

// Fills the edited setpoints with test sequence `option` (0 even spread over
// the travel limits, 1 compound cycle, 2 complex cycle; any other, such as
// -1 for none chosen, the even spread) worked out from the sensor's travel
// limits and length. Cells the sequence does not name keep their values.
void FillSetpointTest(clsSensorData& data, int option);

} // namespace kelvar
