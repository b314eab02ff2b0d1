#pragma once

#include "model/SensorData.h"

#include <QString>
#include <array>
#include <optional>

class QDate;

namespace kelvar {

// The sensor data file (".dat"): the edited values of every parameter and
// setpoint of one sensor as plain text, one value per line, for copying a
// configuration to another sensor or keeping a record of a machine's setup.
// It holds no identity data.
//
// Layout, lines ended by CR LF (a bare LF is read too): "777ASCII"; "1";
// MaxParameters; the edited value of parameters 1 to MaxParameters; an empty
// line; "0"; MaxSetpoints; then the edited target, velocity and dwell of
// setpoints 0 to MaxSetpoints.

// Writes the file, replacing any file of that name only once the new one is
// complete: on failure the earlier file stays as it was, and *error (when
// given) says what went wrong.
bool SaveSensorDataFile(const QString& path, const clsSensorData& data, QString* error);

// A data file read and checked for its form; nothing is checked against the
// parameters' limits here.
struct DataFileContents {
    clsSensorData record; // the given record with the file's edited values in it
    // The file line each value came from (1-based), for messages:
    // parameterLine[i] for parameter i (1 to MaxParameters), setpointLine[s][f]
    // for setpoint s, field f (0 target, 1 velocity, 2 dwell).
    std::array<int, clsSensorData::Rows> parameterLine{};
    std::array<std::array<int, 3>, clsSensorData::Rows> setpointLine{};
    // The file's last line has no line end, as a copy cut short leaves it.
    bool possiblyTruncated = false;
};

// Reads the whole file into a copy of data's edited parameter and setpoint
// columns; the values as read from the sensor, the limits, MaxSetpoints and
// the identity stay as they were. On refusal returns nothing and *error
// (when given) says why, naming the line. data is never changed.
//
// Only a regular file is opened. Every header and value line must be a whole
// number and nothing else but blanks around it; the headers must be the
// record's own (1, MaxParameters, 0, MaxSetpoints). The empty line before the
// setpoints may be missing, and only blank lines may follow the last one.
std::optional<DataFileContents> ReadSensorDataFile(const QString& path, const clsSensorData& data,
                                                   QString* error);

// The name the save dialog proposes: the serial number, a blank, the date as
// yyyyMMdd, ".dat" ("00012345 20040305.dat").
QString ProposedDataFileName(const clsSensorData& data, const QDate& date);
// A serial number as it stands in a file name: the sensor's text, whose path
// separators would put the file in another folder.
QString SerialInFileName(const QString& serial);

// Whether the file name ends in ".dat", in any case.
bool HasDataFileExtension(const QString& path);

// The file's name without its folders.
QString BareFileName(const QString& path);

// The window caption with the current file's bare name in parentheses after
// it, or the caption alone when there is no current file.
QString WindowCaption(const QString& programCaption, const QString& bareFileName);

} // namespace kelvar
