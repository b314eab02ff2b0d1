#pragma once

#include "model/Parameters.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace kelvar {

// Everything known about one sensor: its identity record, its parameter table
// and its setpoint table. Parameters and setpoints are kept twice, as read
// from the sensor and as edited, so that only real changes are written back.
//
// Indices given to the table operations are checked: one outside its table
// raises SubscriptOutOfRange and nothing is stored.
class clsSensorData {
public:
    // Columns of the parameter table.
    enum ParameterColumn : std::int32_t {
        SensorDataColumn = 0, // as read from the sensor (or loaded from a file)
        ChangedDataColumn = 1,
        MinColumn = 2,
        MaxColumn = 3,
        DefaultColumn = 4,
        DataTypeColumn = 5,
    };
    // Codes of the DataType column.
    enum DataTypeCode : std::int32_t {
        NotUsedType = 0,
        OrdinaryType = 1,
        ReadOnlyType = 2,   // read, never written by Apply
        CyclePowerType = 4, // takes effect after a power cycle
        SkippedType = 8,    // neither read, written nor reset
    };
    // Columns of the setpoint table: as read, then as edited.
    enum SetpointColumn : std::int32_t {
        TargetColumn = 0,
        VelocityColumn = 1,
        DwellColumn = 2,
        EditedTargetColumn = 3,
        EditedVelocityColumn = 4,
        EditedDwellColumn = 5,
    };

    static constexpr int Rows = 76; // parameters and setpoints 0 to 75
    static constexpr int Columns = 6;
    static constexpr float DefaultResolution = 0.001f;

    clsSensorData() { ClearAllData(); }

    // Empties the identity block and both tables. DataIsLoaded, Description
    // and VelocityValue keep their values.
    void ClearAllData();

    // Identity block. Writing InfoBlock parses the record into the fields.
    QString InfoBlock() const { return infoBlock_; }
    void setInfoBlock(const QString& record);
    QString Model() const { return model_; }
    void setModel(const QString& value) { model_ = value.trimmed().toUpper(); }
    QString FirmwareDate() const { return firmwareDate_; }
    void setFirmwareDate(const QString& value) { firmwareDate_ = value; }
    QString Version() const { return version_; }
    void setVersion(const QString& value) { version_ = value.trimmed().toUpper(); }
    QString SerialNumber() const { return serialNumber_; }
    void setSerialNumber(const QString& value) { serialNumber_ = value.trimmed().toUpper(); }
    // User units per position count. Only 0.00001 to 0.02 is usable; any
    // other value (zero, negative, not a number) stores DefaultResolution.
    float Resolution() const { return resolution_; }
    void setResolution(float value);
    QString Units() const { return units_; }
    void setUnits(const QString& value) { units_ = value.trimmed().toLower(); }

    // The current parameter row, on which the single-value members act.
    // Writing clamps into 1 to MaxParameters.
    std::int16_t Parameter() const { return parameter_; }
    void setParameter(int iParameter);
    std::int16_t MaxParameters() const { return Rows - 1; }

    std::int32_t SensorData() const { return Cell(SensorDataColumn); }
    // Ignored once DataIsLoaded is set, so that the as-read copy stays what
    // the sensor holds; WriteParameterData still stores.
    void setSensorData(std::int32_t value);
    std::int32_t ChangedData() const { return Cell(ChangedDataColumn); }
    void setChangedData(std::int32_t value) { setCell(ChangedDataColumn, value); }
    std::int32_t Min() const { return Cell(MinColumn); }
    void setMin(std::int32_t value) { setCell(MinColumn, value); }
    std::int32_t Max() const { return Cell(MaxColumn); }
    void setMax(std::int32_t value) { setCell(MaxColumn, value); }
    std::int32_t Default() const { return Cell(DefaultColumn); }
    void setDefault(std::int32_t value) { setCell(DefaultColumn, value); }
    std::int32_t DataType() const { return Cell(DataTypeColumn); }
    void setDataType(std::int32_t value) { setCell(DataTypeColumn, value); }
    QString Name() const { return names_[parameter_][0]; }
    void setName(const QString& value);
    bool DataHasChanged() const { return ChangedData() != SensorData(); }
    // True only strictly between Min and Max.
    bool TestData(std::int32_t lTestData) const { return Min() < lTestData && lTestData < Max(); }
    // The current row as display text: 0 the read value, 1 it as a length,
    // 2 the edited value, 3 it as a length, 4 the edited value and 5 the read
    // value as a percentage of Max (plain integers when Max is below 1). Any
    // other format gives form 0. A value not known gives NotReadText.
    QString Text(std::int32_t TextFormat) const;

    bool DataIsLoaded() const { return dataIsLoaded_; }
    void setDataIsLoaded(bool value) { dataIsLoaded_ = value; }
    QString Description() const { return description_; }
    void setDescription(const QString& value);
    // The sensor's velocity-enable mode; 1 means velocities in hundredths.
    std::int16_t VelocityValue() const { return velocityValue_; }
    void setVelocityValue(std::int16_t value) { velocityValue_ = value; }

    // Whole-table access; neither the current row nor DataIsLoaded matter.
    std::int32_t ReadParameterData(int iParameter, std::int32_t ParameterDataFlag) const;
    void WriteParameterData(int iParameter, std::int32_t ParameterDataFlag, std::int32_t lValue);
    // Names are stored and returned as given. Flag 0 is the parameter's name.
    QString ReadParameterName(int iParameter, std::int32_t flag) const;
    void WriteParameterName(int iParameter, std::int32_t flag, const QString& text);

    // Values whose request the last read did not get answered: their as-read
    // copy holds a stand-in, not what the sensor holds. Cleared with the
    // tables, and by ClearUnread.
    bool ParameterUnread(int iParameter) const;
    void setParameterUnread(int iParameter, bool unread);
    bool SetpointUnread(int iSetpoint, std::int32_t SetpointDataFlag) const;
    void setSetpointUnread(int iSetpoint, std::int32_t SetpointDataFlag, bool unread);
    void ClearUnread();
    // The value in this column is not known: unread, and for the edited
    // column not yet changed from the stand-in. It shows as NotReadText, and
    // nothing is worked out from it.
    bool ParameterUnknown(int iParameter, std::int32_t ParameterDataFlag) const;
    // The same for a setpoint cell; a velocity is also unknown while the
    // VELOCITY ENABLE that scales it is.
    bool SetpointUnknown(int iSetpoint, std::int32_t SetpointDataFlag) const;

    // A pending change to a parameter that needs the sensor's power cycled.
    bool CyclePowerFlag() const;
    // A pending change to any parameter or to any setpoint 0 to 75.
    bool SensorDataChanged() const;
    bool TestForChangedData() const { return SensorDataChanged(); }

    // Setpoint table. Reading or writing a cell makes its setpoint current.
    std::int32_t ReadSetpointData(int iSetpoint, std::int32_t SetpointDataFlag);
    void WriteSetpointData(int iSetpoint, std::int32_t SetpointDataFlag, std::int32_t lValue);
    // One cell as display text: a target as a length, a velocity in user
    // units per second, a dwell in seconds; NotReadText when not known.
    QString SetpointText(int iSetpoint, std::int32_t SetpointDataFlag) const;
    // A pending change to the current setpoint.
    bool SetpointDataHasChanged() const { return SetpointChanged(setpoint_); }
    // The highest setpoint in use; a write above 75 stores 75.
    std::int16_t MaxSetpoints() const { return maxSetpoints_; }
    void setMaxSetpoints(int value);
    void ClearSetpoints();

private:
    using Table = std::array<std::array<std::int32_t, Columns>, Rows>;

    std::int32_t Cell(std::int32_t column) const { return parameters_[parameter_][column]; }
    void setCell(std::int32_t column, std::int32_t value) {
        parameters_[parameter_][column] = value;
    }
    void ClearParameters();
    bool SetpointChanged(int iSetpoint) const;
    bool EditedStillReadValue(int iSetpoint, std::int32_t SetpointDataFlag) const;
    void ParseFirmwareDate(const QString& record);
    QString LengthText(std::int32_t counts) const;

    QString infoBlock_;
    QString model_;
    QString firmwareDate_;
    QString version_;
    QString serialNumber_;
    float resolution_ = DefaultResolution;
    QString units_;

    Table parameters_{};
    std::array<std::array<QString, 2>, Rows> names_;
    std::int16_t parameter_ = 1;
    bool dataIsLoaded_ = false;
    QString description_;
    std::int16_t velocityValue_ = 0;

    Table setpoints_{};
    std::array<bool, Rows> unreadParameters_{};
    std::array<std::array<bool, 3>, Rows> unreadSetpoints_{};
    std::int16_t maxSetpoints_ = Rows - 1;
    std::int16_t setpoint_ = 1;
};

// Clears the record and defines the sensor's parameters with their names,
// types, limits and factory defaults; 60 setpoints in use.
void InitParameterTable(clsSensorData& data);
// Defines one parameter; both the read and the edited value start at the
// default.
void DefineParameter(clsSensorData& data, const QString& name, int index, std::int32_t dataType,
                     std::int32_t min, std::int32_t max, std::int32_t defaultValue);

// What every display, report and printout shows in place of a value that was
// not read: "(not read)".
QString NotReadText();

// The edits not yet written: each edited value that differs from the one read.
struct PendingEdits {
    QString serialNumber;
    std::vector<std::pair<int, std::int32_t>> parameters; // row, edited value
    std::vector<std::array<std::int32_t, 3>> setpoints;   // setpoint, field 0-2, edited value
    bool Empty() const { return parameters.empty() && setpoints.empty(); }
};
PendingEdits PendingEditsOf(clsSensorData& data);
// Puts the edits back over a new read, when it is of the same sensor (by its
// serial number); edits of another sensor do not belong to this one.
bool RestorePendingEdits(clsSensorData& data, const PendingEdits& edits);

// "target", "velocity" or "dwell": a setpoint field (0 to 2) in words, for
// messages; any other number is the target, as on the wire.
QString SetpointFieldName(int field);

// Setpoint `index` of the record and the wire (0 to 59) as people read it:
// every text that names a setpoint numbers them 1 to 60, as the grid and the
// buttons do.
constexpr int SetpointNumber(int index) {
    return index + 1;
}

// The decimals a length in user units is shown with: three, or as many as a
// finer resolution has (0.0005 needs four, 0.00005 five).
int LengthDecimals(float resolution);
// Counts of the sensor's resolution as a length in user units.
double LengthOfCounts(std::int32_t counts, const clsSensorData& data);
// A length in user units as display text in the user's locale, with the
// decimals of the sensor's resolution; withUnits appends a blank and the
// sensor's length unit.
QString FormatLength(double value, bool withUnits, const clsSensorData& data);
// A setpoint field's value (target counts, velocity, dwell) as people read it,
// in the sensor's units: "5.500 in", "0.20 in/sec", "0.10 sec"; a velocity
// whose Velocity Enable is not known as the bare number.
QString SetpointValueText(const clsSensorData& data, int field, std::int32_t value);

} // namespace kelvar
