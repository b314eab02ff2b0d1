#include "model/SensorData.h"

#include "model/Errors.h"
#include "model/Numbers.h"
#include "model/Text.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace kelvar {

namespace {

constexpr int RecordLength = 54;
const QString NotUsed = QStringLiteral("Not Used");
const QString FallbackDate = QStringLiteral("01/01/01");

void CheckIndex(const std::string& what, int index, int high) {
    if (index < 0 || index > high) {
        throw SubscriptOutOfRange(what, index, 0, high);
    }
}

void CheckCell(const std::string& table, int row, int column, int lastColumn) {
    CheckIndex(table, row, clsSensorData::Rows - 1);
    CheckIndex(table + " column", column, lastColumn);
}

// 1-based position and length, as the identity record's layout gives them.
QString Field(const QString& record, int position, int length) {
    return record.mid(position - 1, length);
}

// A day or year field: one or two digits, blanks around them allowed.
int TwoDigitField(const QString& field) {
    const QString digits = field.trimmed();
    if (digits.isEmpty() || digits.size() > 2) {
        return -1;
    }
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return -1;
        }
    }
    return digits.toInt();
}

} // namespace

// ---------------------------------------------------------------- identity

void clsSensorData::ClearAllData() {
    infoBlock_.clear();
    model_.clear();
    firmwareDate_.clear();
    version_.clear();
    serialNumber_.clear();
    resolution_ = DefaultResolution;
    units_ = QStringLiteral("in");
    ClearParameters();
}

void clsSensorData::setResolution(float value) {
    // Not a number fails both comparisons.
    const bool usable = value >= 0.00001f && value <= 0.02f;
    resolution_ = usable ? value : DefaultResolution;
}

void clsSensorData::setInfoBlock(const QString& record) {
    infoBlock_ = record.toUpper();
    if (infoBlock_.size() != RecordLength) {
        version_.clear();
        model_.clear();
        firmwareDate_ = FallbackDate;
        serialNumber_ = QStringLiteral("0");
        resolution_ = DefaultResolution;
        units_ = QStringLiteral("in");
        return;
    }
    version_ = Field(infoBlock_, 19, 3);
    model_ = Field(infoBlock_, 1, 8).trimmed();
    ParseFirmwareDate(infoBlock_);

    // The sensor reports its serial number low-order half first.
    const QString serial = Field(infoBlock_, 39, 6).trimmed() + Field(infoBlock_, 33, 6).trimmed();
    serialNumber_ = LeadingDigits(serial).rightJustified(8, u'0');

    bool isNumber = false;
    const double resolution = Field(infoBlock_, 47, 6).toDouble(&isNumber);
    setResolution(isNumber ? static_cast<float>(resolution) : DefaultResolution);

    units_ = Field(infoBlock_, 53, 2).toLower();
}

void clsSensorData::ParseFirmwareDate(const QString& record) {
    static const QStringList months = {
        QStringLiteral("JAN"), QStringLiteral("FEB"), QStringLiteral("MAR"), QStringLiteral("APR"),
        QStringLiteral("MAY"), QStringLiteral("JUN"), QStringLiteral("JUL"), QStringLiteral("AUG"),
        QStringLiteral("SEP"), QStringLiteral("OCT"), QStringLiteral("NOV"), QStringLiteral("DEC"),
    };
    const int day = TwoDigitField(Field(record, 9, 2));
    const auto found = months.indexOf(Field(record, 11, 3));
    const int month = found < 0 ? 1 : static_cast<int>(found) + 1;
    const int year = TwoDigitField(Field(record, 15, 2));

    // Two-digit years 00 to 29 are 2000 to 2029, 30 to 99 are 1930 to 1999.
    const QDate date(year < 30 ? 2000 + year : 1900 + year, month, day);
    firmwareDate_ = day >= 0 && year >= 0 && date.isValid()
                        ? QLocale().toString(date, u"MMM d, yyyy")
                        : FallbackDate;
}

// ---------------------------------------------------------------- parameters

void clsSensorData::ClearParameters() {
    parameters_ = {};
    unreadParameters_ = {};
    for (auto& name : names_) {
        name[0] = NotUsed;
    }
    ClearSetpoints();
}

void clsSensorData::setParameter(int iParameter) {
    parameter_ = static_cast<std::int16_t>(std::clamp(iParameter, 1, Rows - 1));
}

void clsSensorData::setSensorData(std::int32_t value) {
    if (!dataIsLoaded_) {
        setCell(SensorDataColumn, value);
    }
}

void clsSensorData::setName(const QString& value) {
    names_[parameter_][0] = ProperCase(value.trimmed());
}

void clsSensorData::setDescription(const QString& value) {
    description_ = ProperCase(value.trimmed());
}

QString clsSensorData::LengthText(std::int32_t counts) const {
    return FormatLength(LengthOfCounts(counts, *this), false, *this);
}

bool clsSensorData::ParameterUnread(int iParameter) const {
    CheckIndex("parameter", iParameter, Rows - 1);
    return unreadParameters_[iParameter];
}

void clsSensorData::setParameterUnread(int iParameter, bool unread) {
    CheckIndex("parameter", iParameter, Rows - 1);
    unreadParameters_[iParameter] = unread;
}

bool clsSensorData::SetpointUnread(int iSetpoint, std::int32_t SetpointDataFlag) const {
    CheckCell("setpoint", iSetpoint, SetpointDataFlag, Columns - 1);
    return unreadSetpoints_[iSetpoint][SetpointDataFlag % 3];
}

void clsSensorData::setSetpointUnread(int iSetpoint, std::int32_t SetpointDataFlag, bool unread) {
    CheckCell("setpoint", iSetpoint, SetpointDataFlag, Columns - 1);
    unreadSetpoints_[iSetpoint][SetpointDataFlag % 3] = unread;
}

void clsSensorData::ClearUnread() {
    unreadParameters_ = {};
    unreadSetpoints_ = {};
}

bool clsSensorData::ParameterUnknown(int iParameter, std::int32_t ParameterDataFlag) const {
    if (!ParameterUnread(iParameter)) {
        return false;
    }
    const auto& row = parameters_[iParameter];
    return ParameterDataFlag != ChangedDataColumn ||
           row[ChangedDataColumn] == row[SensorDataColumn];
}

bool clsSensorData::EditedStillReadValue(int iSetpoint, std::int32_t SetpointDataFlag) const {
    const auto& row = setpoints_[iSetpoint];
    return SetpointDataFlag < EditedTargetColumn ||
           row[SetpointDataFlag] == row[SetpointDataFlag - EditedTargetColumn];
}

bool clsSensorData::SetpointUnknown(int iSetpoint, std::int32_t SetpointDataFlag) const {
    const bool velocityScale =
        SetpointDataFlag % 3 == VelocityColumn &&
        ParameterUnknown(Param::VelocityEnable, SetpointDataFlag < EditedTargetColumn
                                                    ? SensorDataColumn
                                                    : ChangedDataColumn);
    return velocityScale || (SetpointUnread(iSetpoint, SetpointDataFlag) &&
                             EditedStillReadValue(iSetpoint, SetpointDataFlag));
}

QString clsSensorData::Text(std::int32_t TextFormat) const {
    const bool edited = TextFormat >= 2 && TextFormat <= 4;
    if (ParameterUnknown(parameter_, edited ? ChangedDataColumn : SensorDataColumn)) {
        return NotReadText();
    }
    const auto percentOrPlain = [this](std::int32_t value) {
        return Max() >= 1
                   ? FormatNumber(static_cast<double>(value) / Max() * 100.0, u"##0.0", QLocale())
                   : QString::number(value);
    };
    switch (TextFormat) {
    case 1:
        return LengthText(SensorData());
    case 2:
        return QString::number(ChangedData());
    case 3:
        return LengthText(ChangedData());
    case 4:
        return percentOrPlain(ChangedData());
    case 5:
        return percentOrPlain(SensorData());
    default:
        return QString::number(SensorData());
    }
}

std::int32_t clsSensorData::ReadParameterData(int iParameter,
                                              std::int32_t ParameterDataFlag) const {
    CheckCell("parameter", iParameter, ParameterDataFlag, Columns - 1);
    return parameters_[iParameter][ParameterDataFlag];
}

void clsSensorData::WriteParameterData(int iParameter, std::int32_t ParameterDataFlag,
                                       std::int32_t lValue) {
    CheckCell("parameter", iParameter, ParameterDataFlag, Columns - 1);
    parameters_[iParameter][ParameterDataFlag] = lValue;
}

QString clsSensorData::ReadParameterName(int iParameter, std::int32_t flag) const {
    CheckCell("parameter name", iParameter, flag, 1);
    return names_[iParameter][flag];
}

void clsSensorData::WriteParameterName(int iParameter, std::int32_t flag, const QString& text) {
    CheckCell("parameter name", iParameter, flag, 1);
    names_[iParameter][flag] = text;
}

bool clsSensorData::CyclePowerFlag() const {
    for (const auto& row : parameters_) {
        if (row[DataTypeColumn] == CyclePowerType &&
            row[ChangedDataColumn] != row[SensorDataColumn]) {
            return true;
        }
    }
    return false;
}

bool clsSensorData::SensorDataChanged() const {
    for (const auto& row : parameters_) {
        if (row[ChangedDataColumn] != row[SensorDataColumn]) {
            return true;
        }
    }
    for (int i = 0; i < Rows; ++i) {
        if (SetpointChanged(i)) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- setpoints

void clsSensorData::ClearSetpoints() {
    setpoints_ = {};
    unreadSetpoints_ = {};
    maxSetpoints_ = Rows - 1;
    setpoint_ = 1;
}

void clsSensorData::setMaxSetpoints(int value) {
    // Values below the table are kept: they mean no setpoint is in use.
    maxSetpoints_ = static_cast<std::int16_t>(
        std::clamp(value, static_cast<int>(std::numeric_limits<std::int16_t>::min()), Rows - 1));
}

bool clsSensorData::SetpointChanged(int iSetpoint) const {
    const auto& row = setpoints_[iSetpoint];
    return row[EditedTargetColumn] != row[TargetColumn] ||
           row[EditedVelocityColumn] != row[VelocityColumn] ||
           row[EditedDwellColumn] != row[DwellColumn];
}

std::int32_t clsSensorData::ReadSetpointData(int iSetpoint, std::int32_t SetpointDataFlag) {
    CheckCell("setpoint", iSetpoint, SetpointDataFlag, Columns - 1);
    setpoint_ = static_cast<std::int16_t>(iSetpoint);
    return setpoints_[iSetpoint][SetpointDataFlag];
}

void clsSensorData::WriteSetpointData(int iSetpoint, std::int32_t SetpointDataFlag,
                                      std::int32_t lValue) {
    CheckCell("setpoint", iSetpoint, SetpointDataFlag, Columns - 1);
    setpoint_ = static_cast<std::int16_t>(iSetpoint);
    setpoints_[iSetpoint][SetpointDataFlag] = lValue;
}

namespace {

// A setpoint field's number as the grid shows it: a target as a length, a
// velocity in user units per second, a dwell in seconds.
QString SetpointNumberText(const clsSensorData& data, int field, std::int32_t value) {
    switch (field % 3) {
    case clsSensorData::TargetColumn:
        return FormatLength(LengthOfCounts(value, data), false, data);
    case clsSensorData::VelocityColumn:
        return data.VelocityValue() == 1 ? FormatNumber(value / 100.0, u"##0.00", QLocale())
                                         : FormatNumber(value / 10.0, u"##0.0", QLocale());
    default:
        return FormatNumber(value / 100.0, u"##0.00", QLocale());
    }
}

} // namespace

QString clsSensorData::SetpointText(int iSetpoint, std::int32_t SetpointDataFlag) const {
    CheckCell("setpoint", iSetpoint, SetpointDataFlag, Columns - 1);
    return SetpointUnknown(iSetpoint, SetpointDataFlag)
               ? NotReadText()
               : SetpointNumberText(*this, SetpointDataFlag,
                                    setpoints_[iSetpoint][SetpointDataFlag]);
}

// ---------------------------------------------------------------- definitions

void DefineParameter(clsSensorData& data, const QString& name, int index, std::int32_t dataType,
                     std::int32_t min, std::int32_t max, std::int32_t defaultValue) {
    data.WriteParameterData(index, clsSensorData::DataTypeColumn, dataType);
    data.WriteParameterData(index, clsSensorData::MinColumn, min);
    data.WriteParameterData(index, clsSensorData::MaxColumn, max);
    data.WriteParameterData(index, clsSensorData::DefaultColumn, defaultValue);
    data.WriteParameterName(index, 0, ProperCase(name));
    data.WriteParameterData(index, clsSensorData::SensorDataColumn, defaultValue);
    data.WriteParameterData(index, clsSensorData::ChangedDataColumn, defaultValue);
}

void InitParameterTable(clsSensorData& data) {
    struct Definition {
        const char* name;
        int index;
        std::int32_t dataType;
        std::int32_t min;
        std::int32_t max;
        std::int32_t defaultValue;
    };
    // The names are the sensor maker's; their case is evened out on the way in.
    static constexpr Definition definitions[] = {
        {"EXTEND GAIN ", 2, 1, 1, 65535, 500},
        {"retract GAIN ", 3, 1, 1, 65535, 500},
        {"EXTEND ACCELERATION ", 4, 1, 1, 65535, 100},
        {"retract ACCELERATION ", 5, 1, 1, 65535, 100},
        {"EXTEND DECELERATION WINDOW ", 6, 1, 1, 65535, 255},
        {"retract DECELERATION WINDOW  ", 7, 1, 1, 65535, 255},
        {"EXTEND DECELERATION ", 8, 1, 1, 65535, 100},
        {"retract DECELERATION ", 9, 1, 1, 65535, 100},
        {"EXTEND DEADBAND", 10, 1, 0, 65535, 0},
        {"retract DEADBAND ", 11, 1, 0, 65535, 0},
        {"VELOCITY ENABLE ", 12, 4, 0, 2, 1},
        {"EXTEND DRIVE LIMIT", 14, 1, 1, 255, 255},
        {"retract DRIVE LIMIT ", 15, 1, 1, 255, 255},
        {"AUTONULL ENABLE", 16, 1, 0, 1, 0},
        {"AUTONULL WINDOW", 17, 1, 0, 65535, 0},
        {"JOG INCREMENT ", 18, 1, 0, 65535, 0},
        {"JOG MAXIMUM ", 19, 1, 0, 65535, 0},
        {"DRIVE POLARITY ", 20, 1, 0, 1, 0},
        {"MINIMUM TRAVEL ", 30, 1, 0, 65535, 50},
        {"MAXIMUM TRAVEL ", 31, 1, 0, 65535, 0},
        {"IN POSITION WINDOW ", 32, 1, 1, 65535, 60},
        {"ZERO ADJUST ", 33, 1, -32000, 32000, 0},
        {"SENSOR LENGTH ", 35, 2, 0, 65535, 0},
        {"READOUT DIRECTION ", 41, 1, 0, 1, 1},
        {"ADDRESS ", 55, 4, 1, 26, 1},
        {"BAUD RATE ", 56, 4, 1, 4, 1},
        {"NULL ZERO ", 57, 2, 0, 4096, 2047},
        {"motion / set enable MODE ", 58, 4, 0, 3, 0},
        {"CYLINDER Type ", 59, 4, 0, 1, 0},
        {"Loop Time", 60, 4, 1, 3, 2},
        {"RUN MODE ", 61, 4, 0, 4, 0},
        {"OUTPUT MODE ", 62, 4, 0, 3, 0},
        {"jog velocity", 65, 8, 0, 4000, 0},
    };
    data.ClearAllData();
    for (const Definition& d : definitions) {
        DefineParameter(data, QString::fromLatin1(d.name), d.index, d.dataType, d.min, d.max,
                        d.defaultValue);
    }
    data.ClearSetpoints();
    data.setMaxSetpoints(59);
}

// ---------------------------------------------------------------- lengths

int LengthDecimals(float resolution) {
    int decimals = 3;
    double scaled = static_cast<double>(resolution) * 1000.0;
    // A float resolution is never exact: a digit counts when it is well above its error.
    while (decimals < 6 && std::fabs(scaled - std::round(scaled)) > 1e-3 * std::fabs(scaled)) {
        scaled *= 10;
        ++decimals;
    }
    return decimals;
}

double LengthOfCounts(std::int32_t counts, const clsSensorData& data) {
    // In single precision, as the sensor's resolution is.
    return static_cast<double>(static_cast<float>(counts) * data.Resolution());
}

QString FormatLength(double value, bool withUnits, const clsSensorData& data) {
    const QString pattern =
        QStringLiteral("##,###,##0.") + QString(LengthDecimals(data.Resolution()), u'0');
    QString text = FormatNumber(value, pattern, QLocale());
    if (withUnits) {
        text += u' ' + data.Units().trimmed().toLower();
    }
    return text;
}

QString SetpointValueText(const clsSensorData& data, int field, std::int32_t value) {
    switch (field % 3) {
    case clsSensorData::TargetColumn:
        return FormatLength(LengthOfCounts(value, data), true, data);
    case clsSensorData::VelocityColumn:
        // Its scale is not known: the number as it goes on the wire.
        if (data.ParameterUnknown(Param::VelocityEnable, field < clsSensorData::EditedTargetColumn
                                                             ? clsSensorData::SensorDataColumn
                                                             : clsSensorData::ChangedDataColumn)) {
            return QStringLiteral("%1 (Velocity Enable not read)").arg(value);
        }
        return SetpointNumberText(data, field, value) + u' ' + LengthUnit(data.Units()) +
               QStringLiteral("/sec");
    default:
        return SetpointNumberText(data, field, value) + QStringLiteral(" sec");
    }
}

QString NotReadText() {
    return QStringLiteral("(not read)");
}

PendingEdits PendingEditsOf(clsSensorData& data) {
    PendingEdits edits{data.SerialNumber(), {}, {}};
    for (int r = 0; r < clsSensorData::Rows; ++r) {
        const std::int32_t edited = data.ReadParameterData(r, clsSensorData::ChangedDataColumn);
        if (edited != data.ReadParameterData(r, clsSensorData::SensorDataColumn)) {
            edits.parameters.emplace_back(r, edited);
        }
    }
    for (int s = 0; s < clsSensorData::Rows; ++s) {
        for (std::int32_t f = 0; f < 3; ++f) {
            const std::int32_t edited =
                data.ReadSetpointData(s, f + clsSensorData::EditedTargetColumn);
            if (edited != data.ReadSetpointData(s, f)) {
                edits.setpoints.push_back({s, f, edited});
            }
        }
    }
    return edits;
}

bool RestorePendingEdits(clsSensorData& data, const PendingEdits& edits) {
    if (edits.serialNumber != data.SerialNumber()) {
        return false;
    }
    for (const auto& [row, value] : edits.parameters) {
        data.WriteParameterData(row, clsSensorData::ChangedDataColumn, value);
    }
    for (const auto& [setpoint, field, value] : edits.setpoints) {
        data.WriteSetpointData(setpoint, field + clsSensorData::EditedTargetColumn, value);
    }
    return true;
}

QString SetpointFieldName(int field) {
    static const char* const Names[] = {"target", "velocity", "dwell"};
    return QLatin1String(Names[field >= 0 && field <= 2 ? field : 0]);
}

} // namespace kelvar
