#pragma once

#include "model/SensorData.h"
#include "operations/Setpoints.h"

#include <QChar>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvar {

class cSession;

// The parameter editing of the Sensor, Dynamics and Limits tabs as data and
// pure logic: the window binds its controls to these tables and applies what
// the functions return. Every edit goes only into the edited column.

// ------------------------------------------------------------- number fields

// How a number field's text relates to its register's value.
enum class FieldUnit {
    Counts, // the value itself, a whole number
    Length, // user units; stored as counts (length / resolution)
};

// Which keys a field takes besides the digits and Backspace.
enum class FieldKeys {
    Digits,        // nothing more
    Decimal,       // "."
    SignedDecimal, // "." and "-"
};

struct NumberField {
    int reg;
    FieldUnit unit;
    FieldKeys keys;
    int spinMax; // the spin button's upper stop; 0 when the field has none
};

inline constexpr int NumberFieldCount = 17;
inline constexpr int ZeroAdjustField = 16;
// The "Drive Limit" fields, whose captions also show the value as a
// percentage of the maximum.
inline constexpr std::array<int, 2> DriveLimitFields{4, 10};

const std::array<NumberField, NumberFieldCount>& NumberFields();
// The field showing a register, or -1 when no number field does.
int FieldOfRegister(int reg);

// What a key typed into a field does.
enum class KeyAction {
    Accept,  // goes into the text
    Swallow, // is dropped
    MoveOn,  // Enter: dropped, and the focus moves on as with Tab
};
inline constexpr QChar BackspaceKey{u'\b'};
inline constexpr QChar EnterKey{u'\r'};
KeyAction FilterKey(int field, QChar key);
// The same for an entry that takes these keys.
KeyAction FilterKeys(FieldKeys keys, QChar key);

// The number in an entry's text: typed with "." as its decimal point, or as
// a redraw left it in the user's locale. Empty when the text holds none.
std::optional<double> ReadEnteredNumber(const QString& text);

// A typed length in counts, not yet rounded: the length in single precision
// divided by the sensor's resolution.
double CountsOfLength(double length, const clsSensorData& data);

// A field's text for its register's edited value.
QString FieldText(clsSensorData& data, int field);

// The outcome of committing a field's text (the focus leaves it, or its spin
// button moved it).
struct FieldEntry {
    std::int32_t value = 0; // the edited value afterwards
    bool clamped = false;   // held to a limit: the field is shown in red
    bool refused = false;   // no number to read: the previous value is kept
    QString text;           // what the field shows afterwards
};
// Reads the text, clamps it to the register's limits (the travel limits are
// not clamped) and stores it as the edited value. The field's register
// becomes the record's current parameter. Text without a number (empty, "-",
// ".") keeps the previous edited value and gives its text to redraw.
FieldEntry CommitField(clsSensorData& data, int field, const QString& text);

// The number a spin click puts into a field: shown moved by step and held to
// 0 .. the field's spinMax. Only fields 0 to 11 have spin buttons; the window's
// UpDownN serves field N - 2.
std::int32_t SpinValue(int field, std::int32_t shown, int step);

// A register's text in a clsSensorData::Text format; the record's current row
// is left where it was.
QString RegisterText(clsSensorData& data, int reg, std::int32_t format);

// ----------------------------------------------------- option groups, boxes

enum class OptionGroup {
    Run,
    Cylinder,
    OutPut,
    Enable,
    ServoBaud,
    LoopTime,
    VelocityEnable,
    ReadoutDirection,
    DrivePolarity, // check box: index 0 unticked, 1 ticked
    AutoNull,      // check box
};

struct OptionGroupDef {
    OptionGroup group;
    int reg;
    int offset; // edited value = index + offset
    std::vector<QString> captions;
    // The frame's title; for a box, its caption.
    QString title;
    // One per option (a box has one); options past the end have none.
    std::vector<QString> toolTips;
};

const std::vector<OptionGroupDef>& OptionGroups();
const OptionGroupDef& OptionGroupOf(OptionGroup group);

// The register value an option stands for, and the option for a value (-1
// when the value has none).
std::int32_t OptionValue(OptionGroup group, int index);
int OptionIndex(OptionGroup group, std::int32_t value);

// Stores the edited value of a chosen option (or box state) with what the
// choice does to the record besides: "Hydraulic" also sets the edited AutoNull
// window to 0, the velocity options set the record's VelocityValue.
void ChooseOption(clsSensorData& data, OptionGroup group, int index);

// ------------------------------------------------------------- redrawing

struct FieldShown {
    int field;
    QString text;
};
struct CaptionShown {
    int field;
    QString caption;
};
struct OptionShown {
    OptionGroup group;
    int index;     // the option to select and make bold; -1 for none
    QString title; // the frame's title or the box's caption, marked when not read
};

// What the controls show after ShowSettings.
struct SettingsView {
    std::vector<FieldShown> fields;
    std::vector<CaptionShown> captions; // the "Drive Limit" captions
    std::vector<OptionShown> options;
    std::optional<int> addressIndex; // the address selector's entry
    std::vector<SetpointGridRow> setpointRows;
    // Per setpoint button: its caption underlined.
    std::array<bool, SetpointGridRows> markedSetpoints{};
};

// The controls of every register whose edited value differs from its read
// value, or of all when force is set; registers of type 0 are skipped. A
// value not read shows NotReadText and selects no option. The
// same for the setpoint grid's rows, and the marks of the setpoint buttons.
SettingsView ShowSettings(clsSensorData& data, bool force);

// Enables Apply exactly while a change is pending (through the session), then
// redraws as ShowSettings; a run option shown becomes the read's
// RunModeOption, which the status strip shows.
SettingsView RefreshApplyState(cSession& session, bool force);

// ------------------------------------------------------------- tool tips

struct FieldTip {
    int field;
    QString tip;
};
struct OptionTip {
    OptionGroup group;
    int index; // the option; -1 for a check box
    QString tip;
};
struct FieldHelp {
    std::vector<FieldTip> fields;
    std::vector<OptionTip> options;
    QString address;
};

// The tool tips for the current limits, for every register of a type other
// than 0. The output option "Open Loop Enable" keeps its own tip.
FieldHelp SetFieldHelp(const clsSensorData& data);

// The setpoint grid's "View Only" box.
QString ViewOnlyTip(bool ticked);

} // namespace kelvar
