#pragma once

#include <QString>

class QDate;

namespace kelvar {

class clsSensorData;

// The sensor data file (".dat"): the edited values of every parameter and
// setpoint of one sensor as plain text, one value per line, for copying a
// configuration to another sensor or keeping a record of a machine's setup.
// It holds no identity data.
//
// Layout, lines ended by CR LF: "777ASCII"; "1"; MaxParameters; the edited
// value of parameters 1 to MaxParameters; an empty line; "0"; MaxSetpoints;
// then the edited target, velocity and dwell of setpoints 0 to MaxSetpoints.

// Writes the file, replacing any file of that name only once the new one is
// complete: on failure the earlier file stays as it was, and *error (when
// given) says what went wrong.
bool SaveSensorDataFile(const QString& path, const clsSensorData& data, QString* error);

// Reads the file into the edited columns of the parameters and setpoints;
// the values as read from the sensor, the limits, MaxSetpoints and the
// identity stay as they were, and no value is checked against its limits.
// The whole file is read before anything is stored: when any of it cannot be
// used, data is left untouched and *error (when given) names the line and
// what it should have held.
//
// Parameter lines and the headers count as the number they begin with (none
// is 0); setpoint lines must be whole numbers. The empty line before the
// setpoints may be missing. Headers that claim more parameters or setpoints
// than the record holds are lowered to what it holds.
bool LoadSensorDataFile(const QString& path, clsSensorData& data, QString* error);

// The name the save dialog proposes: the serial number, a blank, the date as
// yyyyMMdd, ".dat" ("00012345 20040305.dat").
QString ProposedDataFileName(const clsSensorData& data, const QDate& date);

// Whether the file name ends in ".dat", in any case.
bool HasDataFileExtension(const QString& path);

// The file's name without its folders.
QString BareFileName(const QString& path);

// The window caption with the current file's bare name in parentheses after
// it, or the caption alone when there is no current file.
QString WindowCaption(const QString& programCaption, const QString& bareFileName);

} // namespace kelvar
