#include "operations/Editing.h"

#include "model/Errors.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/Speeds.h"
#include "operations/Selection.h"
#include "operations/Session.h"
#include "operations/StatusDisplay.h"

#include <QLocale>
#include <algorithm>
#include <limits>

namespace kelvar {

namespace {

constexpr int HydraulicOption = 0;

constexpr int NoSpin = 0;
constexpr int SpinFull = 65535;
constexpr int SpinByte = 255;

// The text formats of clsSensorData::Text used here.
constexpr std::int32_t EditedValueText = 2;
constexpr std::int32_t EditedLengthText = 3;
constexpr std::int32_t EditedPercentText = 4;

const QString crlf = QStringLiteral("\r\n");

bool IsLength(const NumberField& f) {
    return f.unit == FieldUnit::Length;
}

const NumberField& FieldAt(int field) {
    if (field < 0 || field >= NumberFieldCount) {
        throw SubscriptOutOfRange("number field", field, 0, NumberFieldCount - 1);
    }
    return NumberFields()[static_cast<std::size_t>(field)];
}

} // namespace

std::optional<double> ReadEnteredNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!std::any_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c.isDigit(); })) {
        return std::nullopt;
    }
    QLocale typed = QLocale::c();
    typed.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = typed.toDouble(trimmed, &ok);
    if (ok) {
        return value;
    }
    const double shown = QLocale().toDouble(trimmed, &ok);
    return ok ? std::optional<double>(shown) : std::nullopt;
}

namespace {

QString EnterValueTip(const QString& name, const QString& min, const QString& max) {
    return QStringLiteral(" Enter a value for ") + name + QStringLiteral(" ") +
           QStringLiteral(" Range: ") + min + QStringLiteral(" to ") + max;
}

} // namespace

// A register's text in a clsSensorData::Text format; the record's current row
// is left where it was.
QString RegisterText(clsSensorData& data, int reg, std::int32_t format) {
    const int current = data.Parameter();
    data.setParameter(reg);
    QString text = data.Text(format);
    data.setParameter(current);
    return text;
}

// ------------------------------------------------------------- number fields

const std::array<NumberField, NumberFieldCount>& NumberFields() {
    using U = FieldUnit;
    using K = FieldKeys;
    static const std::array<NumberField, NumberFieldCount> fields{{
        {2, U::Counts, K::Digits, SpinFull},  // extend gain
        {4, U::Counts, K::Digits, SpinByte},  // extend acceleration
        {8, U::Counts, K::Digits, SpinFull},  // extend deceleration
        {6, U::Counts, K::Digits, SpinFull},  // extend deceleration window
        {14, U::Counts, K::Digits, SpinByte}, // extend drive limit
        {10, U::Counts, K::Digits, SpinFull}, // extend dead band
        {3, U::Counts, K::Digits, SpinFull},  // retract gain
        {5, U::Counts, K::Digits, SpinByte},  // retract acceleration
        {9, U::Counts, K::Digits, SpinFull},  // retract deceleration
        {7, U::Counts, K::Digits, SpinFull},  // retract deceleration window
        {15, U::Counts, K::Digits, SpinByte}, // retract drive limit
        {11, U::Counts, K::Digits, SpinFull}, // retract dead band
        {Param::AutoNullWindow, U::Counts, K::Digits, NoSpin},
        {Param::MinimumTravel, U::Length, K::Decimal, NoSpin},
        {Param::MaximumTravel, U::Length, K::Decimal, NoSpin},
        {Param::InPositionWindow, U::Length, K::Decimal, NoSpin},
        {Param::ZeroAdjust, U::Length, K::SignedDecimal, NoSpin},
    }};
    return fields;
}

int FieldOfRegister(int reg) {
    const auto& fields = NumberFields();
    const auto it = std::find_if(fields.begin(), fields.end(),
                                 [reg](const NumberField& f) { return f.reg == reg; });
    return it == fields.end() ? -1 : static_cast<int>(it - fields.begin());
}

KeyAction FilterKey(int field, QChar key) {
    return FilterKeys(FieldAt(field).keys, key);
}

KeyAction FilterKeys(FieldKeys keys, QChar key) {
    if (key == EnterKey) {
        return KeyAction::MoveOn;
    }
    if ((key >= u'0' && key <= u'9') || key == BackspaceKey) {
        return KeyAction::Accept;
    }
    const bool point = key == u'.' && keys != FieldKeys::Digits;
    const bool minus = key == u'-' && keys == FieldKeys::SignedDecimal;
    return point || minus ? KeyAction::Accept : KeyAction::Swallow;
}

QString FieldText(clsSensorData& data, int field) {
    const NumberField& f = FieldAt(field);
    return RegisterText(data, f.reg, IsLength(f) ? EditedLengthText : EditedValueText);
}

double CountsOfLength(double length, const clsSensorData& data) {
    // Lengths are read in single precision, as the sensor's resolution is;
    // a length beyond the float range is held to it.
    constexpr double floatMax = std::numeric_limits<float>::max();
    return static_cast<double>(static_cast<float>(std::clamp(length, -floatMax, floatMax)) /
                               data.Resolution());
}

FieldEntry CommitField(clsSensorData& data, int field, const QString& text) {
    const NumberField& f = FieldAt(field);
    data.setParameter(f.reg);
    FieldEntry entry;
    const std::optional<double> number = ReadEnteredNumber(text);
    if (!number) {
        entry.refused = true;
        entry.value = data.ChangedData();
        entry.text = FieldText(data, field);
        return entry;
    }
    const double counts = IsLength(f) ? CountsOfLength(*number, data) : *number;
    const bool travelLimit = f.reg == Param::MinimumTravel || f.reg == Param::MaximumTravel;
    // The travel limits take any value that fits a register.
    const double low = travelLimit ? std::numeric_limits<std::int32_t>::min() : data.Min();
    const double high = travelLimit ? std::numeric_limits<std::int32_t>::max() : data.Max();
    entry.clamped = counts < low || counts > high;
    entry.value = static_cast<std::int32_t>(RoundHalfEven(std::clamp(counts, low, high)));
    data.setChangedData(entry.value);
    entry.text = FieldText(data, field);
    return entry;
}

std::int32_t SpinValue(int field, std::int32_t shown, int step) {
    const int top = FieldAt(field).spinMax;
    const std::int64_t moved = static_cast<std::int64_t>(shown) + step;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(moved, 0, top));
}

// ----------------------------------------------------- option groups, boxes

const std::vector<OptionGroupDef>& OptionGroups() {
    // A check box has two states, unticked and ticked, and no option captions.
    const std::vector<QString> BoxStates(2);
    const auto same = [](const char* tip, std::size_t count) {
        return std::vector<QString>(count, QString::fromLatin1(tip));
    };
    // The sensor counts its baud rate codes the other way round from the
    // port speeds: 19.2K first.
    std::vector<QString> servoBauds;
    for (auto speed = SpeedTable.rbegin(); speed != SpeedTable.rend(); ++speed) {
        servoBauds.push_back(QString::fromLatin1(speed->caption));
    }
    static const std::vector<OptionGroupDef> groups{
        {OptionGroup::Run,
         Param::RunMode,
         0,
         {RunModeCaptions.begin(), RunModeCaptions.end()},
         QStringLiteral(" Run Mode "),
         same(" Selects the operational mode for the Actimar(tm)", RunModeCaptions.size())},
        {OptionGroup::Cylinder,
         Param::CylinderType,
         0,
         {"Hydraulic", "Pneumatic"},
         QStringLiteral(" Cylinder Type "),
         {QStringLiteral(" The hydraulic algorithm for motion is used."),
          QStringLiteral(" The pneumatic algorithm for motion is used.")}},
        {OptionGroup::OutPut,
         Param::OutputMode,
         0,
         {"In Position", "In Track", "Cycle Complete", "Open Loop Enable"},
         QStringLiteral(" Output Mode "),
         {QStringLiteral("In Position - This will cause the In Position "
                         "Output to come on when the target and position "
                         "are within the In Position Window."),
          QStringLiteral("In Track - This will cause the In Position Output "
                         "to come on when a following error becomes "
                         "larger than the In Position window."),
          QStringLiteral("Cycle Complete - This will cause the In Position Output "
                         "to come on when a cycle has finished.")}},
        {OptionGroup::Enable,
         Param::EnableMode,
         0,
         {"Disable Set", "Stop Set", "Disable Set, Target Allowed", "Stop Set, Target Allowed"},
         QStringLiteral(" Enable Mode "),
         {QStringLiteral("Disable Set will continue motion to target "
                         "when the Motion/Set Enable is removed."),
          QStringLiteral("Stop Set will stop motion drive when "
                         "Motion/Set Enable is removed.")}},
        {OptionGroup::ServoBaud, Param::BaudRate, 1, servoBauds, QStringLiteral(" Baud Rate "),
         same(" Select the Actimar baud rate.", servoBauds.size())},
        {OptionGroup::LoopTime,
         Param::LoopTime,
         1,
         {"625uSec", "1mSec", "2 mSec"},
         QStringLiteral(" Loop Time "),
         {}},
        {OptionGroup::VelocityEnable,
         Param::VelocityEnable,
         0,
         {"Drive Limits", "Slow (0-40.00 in/sec)", "Fast (0-400.0 in/sec)"},
         QStringLiteral(" Velocity Response "),
         {}},
        {OptionGroup::ReadoutDirection,
         Param::ReadoutDirection,
         0,
         {"Retract To 0", "Extend to 0"},
         QStringLiteral(" Readout Direction "),
         {QStringLiteral(" Readout Direction: Retract to 0 "),
          QStringLiteral(" Readout Direction:  Extend to 0")}},
        {OptionGroup::DrivePolarity,
         Param::DrivePolarity,
         0,
         BoxStates,
         QStringLiteral("Reverse Drive Polarity"),
         {}},
        {OptionGroup::AutoNull,
         Param::AutoNullEnable,
         0,
         BoxStates,
         QStringLiteral("Enabled"),
         {QStringLiteral("Determines if AutoNull is active. Options: Disabled or Enabled")}},
    };
    return groups;
}

const OptionGroupDef& OptionGroupOf(OptionGroup group) {
    const auto& groups = OptionGroups();
    return *std::find_if(groups.begin(), groups.end(),
                         [group](const OptionGroupDef& g) { return g.group == group; });
}

std::int32_t OptionValue(OptionGroup group, int index) {
    const OptionGroupDef& g = OptionGroupOf(group);
    const int last = static_cast<int>(g.captions.size()) - 1;
    if (index < 0 || index > last) {
        throw SubscriptOutOfRange("option", index, 0, last);
    }
    return index + g.offset;
}

int OptionIndex(OptionGroup group, std::int32_t value) {
    const OptionGroupDef& g = OptionGroupOf(group);
    const std::int64_t index = static_cast<std::int64_t>(value) - g.offset;
    return index >= 0 && index < static_cast<std::int64_t>(g.captions.size())
               ? static_cast<int>(index)
               : -1;
}

void ChooseOption(clsSensorData& data, OptionGroup group, int index) {
    data.WriteParameterData(OptionGroupOf(group).reg, clsSensorData::ChangedDataColumn,
                            OptionValue(group, index));
    if (group == OptionGroup::Cylinder && index == HydraulicOption) {
        data.WriteParameterData(Param::AutoNullWindow, clsSensorData::ChangedDataColumn, 0);
    }
    if (group == OptionGroup::VelocityEnable) {
        data.setVelocityValue(static_cast<std::int16_t>(index));
    }
}

// ------------------------------------------------------------- redrawing

SettingsView ShowSettings(clsSensorData& data, bool force) {
    SettingsView view;
    for (int reg = 0; reg <= data.MaxParameters(); ++reg) {
        const auto cell = [&](std::int32_t column) {
            return data.ReadParameterData(reg, column);
        };
        if (cell(clsSensorData::DataTypeColumn) == clsSensorData::NotUsedType ||
            (!force &&
             cell(clsSensorData::ChangedDataColumn) == cell(clsSensorData::SensorDataColumn))) {
            continue;
        }
        const std::int32_t edited = cell(clsSensorData::ChangedDataColumn);
        const bool unknown = data.ParameterUnknown(reg, clsSensorData::ChangedDataColumn);
        if (const int field = FieldOfRegister(reg); field >= 0) {
            view.fields.push_back({field, FieldText(data, field)});
            if (std::find(DriveLimitFields.begin(), DriveLimitFields.end(), field) !=
                DriveLimitFields.end()) {
                view.captions.push_back(
                    {field, QStringLiteral("Drive Limit") + crlf +
                                (unknown ? NotReadText()
                                         : QStringLiteral("(") +
                                               RegisterText(data, reg, EditedPercentText) +
                                               QStringLiteral("% Output)"))});
            }
        }
        for (const OptionGroupDef& g : OptionGroups()) {
            if (g.reg == reg) {
                // A frame's title keeps its blank at the end.
                const QString title = !unknown                 ? g.title
                                      : g.title.endsWith(u' ') ? g.title + NotReadText() + u' '
                                                               : g.title + u' ' + NotReadText();
                view.options.push_back(
                    {g.group, unknown ? -1 : OptionIndex(g.group, edited), title});
            }
        }
        if (reg == Param::Address) {
            view.addressIndex = unknown ? -1 : edited - 1;
        }
    }
    view.setpointRows = SetpointRows(data, force);
    view.markedSetpoints = MarkedSetpoints(data);
    return view;
}

SettingsView RefreshApplyState(cSession& session, bool force) {
    session.apply.RefreshApplyState();
    SettingsView view = ShowSettings(session.sensor, force);
    for (const OptionShown& shown : view.options) {
        if (shown.group == OptionGroup::Run) {
            session.read.SetRunModeOption(shown.index);
        }
    }
    return view;
}

// ------------------------------------------------------------- tool tips

FieldHelp SetFieldHelp(const clsSensorData& data) {
    FieldHelp help;
    const auto used = [&](int reg) {
        return data.ReadParameterData(reg, clsSensorData::DataTypeColumn) !=
               clsSensorData::NotUsedType;
    };
    const auto& fields = NumberFields();
    for (int field = 0; field < NumberFieldCount; ++field) {
        const int reg = fields[static_cast<std::size_t>(field)].reg;
        if (!used(reg)) {
            continue;
        }
        const std::int32_t min = data.ReadParameterData(reg, clsSensorData::MinColumn);
        const std::int32_t max = data.ReadParameterData(reg, clsSensorData::MaxColumn);
        const QString name = data.ReadParameterName(reg, 0);
        // The Limits tab's lengths (not the zero adjust) tell their range in
        // user units.
        const bool inUnits =
            IsLength(fields[static_cast<std::size_t>(field)]) && field != ZeroAdjustField;
        const auto limit = [&](std::int32_t counts) {
            return inUnits ? FormatNumber(static_cast<double>(counts) * data.Resolution(),
                                          u"##0.000", QLocale()) +
                                 data.Units()
                           : QString::number(counts);
        };
        help.fields.push_back({field, EnterValueTip(name, limit(min), limit(max))});
    }

    // Tips of the option groups, by option; a group whose register is not
    // used gets none.
    struct GroupTips {
        OptionGroup group;
        bool withCaption; // the option's caption comes first
        std::vector<QString> tips;
    };
    const std::vector<GroupTips> groupTips{
        {OptionGroup::ServoBaud, false,
         std::vector<QString>(4, QStringLiteral(" Select the Actimar baud rate."))},
        {OptionGroup::Run, false,
         std::vector<QString>(5,
                              QStringLiteral(" Selects the operational mode for the Actimar(tm)"))},
        {OptionGroup::OutPut,
         true,
         {QStringLiteral(" - This will cause the In Position "
                         "Output to come on when the target and position "
                         "are within the In Position Window."),
          QStringLiteral(" - This will cause the In Position Output "
                         "to come on when a following error becomes "
                         "larger than the In Position window."),
          QStringLiteral(" - This will cause the In Position Output "
                         "to come on when a cycle has finished.")}},
        // As the window's own texts say: "Disable Set" stops the drive,
        // "Stop Set" goes on to the target.
        {OptionGroup::Enable,
         true,
         {QStringLiteral(" will stop motion drive when "
                         "Motion/Set Enable is removed."),
          QStringLiteral(" will continue motion to target "
                         "when the Motion/Set Enable is removed.")}},
        {OptionGroup::Cylinder,
         false,
         {QStringLiteral(" The hydraulic algorithm for motion is used."),
          QStringLiteral(" The pneumatic algorithm for motion is used.")}},
        {OptionGroup::ReadoutDirection,
         false,
         {QStringLiteral(" Readout Direction: Retract to 0 "),
          QStringLiteral(" Readout Direction:  Extend to 0")}},
    };
    for (const GroupTips& g : groupTips) {
        const OptionGroupDef& def = OptionGroupOf(g.group);
        if (!used(def.reg)) {
            continue;
        }
        for (std::size_t i = 0; i < g.tips.size(); ++i) {
            help.options.push_back({g.group, static_cast<int>(i),
                                    (g.withCaption ? def.captions[i] : QString()) + g.tips[i]});
        }
    }
    if (used(OptionGroupOf(OptionGroup::AutoNull).reg)) {
        help.options.push_back({OptionGroup::AutoNull, -1,
                                QStringLiteral("Determines if AutoNull is active. Options: "
                                               "Disabled or Enabled")});
    }
    if (const int reg = OptionGroupOf(OptionGroup::DrivePolarity).reg; used(reg)) {
        help.options.push_back({OptionGroup::DrivePolarity, -1,
                                QStringLiteral(" Enter a value for ") +
                                    data.ReadParameterName(reg, 0) + QStringLiteral(" ") +
                                    QStringLiteral(" Options: Normal or Reversed")});
    }
    if (used(Param::Address)) {
        help.address = QStringLiteral(" The Actimar network address.");
    }
    return help;
}

QString ViewOnlyTip(bool ticked) {
    return ticked ? QStringLiteral("Uncheck to send setpoints to sensor")
                  : QStringLiteral("Check to review setpoint data");
}

} // namespace kelvar
