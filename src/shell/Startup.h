#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace kelvar {

class cRegistry;
class cSession;

// The window-side state that the settings keep: position and check marks.
struct cShellState {
    int Top = 100;
    int Left = 100;
    bool WindowNormal = true; // neither minimised nor maximised
    bool AutoSearch = true;
    bool Calibrate = true;
    bool CalibrateVisible = false; // only with "/cal"
    std::array<bool, 6> Information{true, true, true, true, true, true};
    QString CommandLine; // lower-cased
};

// A sensor of the saved list as one text: port, address, serial number,
// blank, speed choice, name ("03020000001234 0Axis 1").
QString SensorRecordText(int port, int address, const QString& serial, int speedIndex,
                         const QString& name);
struct SensorRecord {
    int port = 0;
    int address = 0;
    QString serial;
    int speedIndex = 0;
    QString name;
};
SensorRecord ParseSensorRecord(const QString& text);

// Reads every setting into the state, or writes every setting from it.
// Writing returns the errors of the settings store (empty when all were
// written); reading never fails, what cannot be read keeps its default.
QStringList SaveLoadSettings(cSession& session, cRegistry& registry, cShellState& state, bool save);

// The start-up sequence, in the three stretches between which the window
// shows and hides its splash and main window.
void StartupFindPorts(cSession& session, cShellState& state, const QString& commandLine);
void StartupReadSettings(cSession& session, cRegistry& registry, cShellState& state);
// False when there is no serial port at all: the user has been told and the
// program must end (after Shutdown).
bool StartupOpenSensor(cSession& session);

// Closes the port and writes the settings; returns the store's errors.
QStringList Shutdown(cSession& session, cRegistry& registry, cShellState& state);

} // namespace kelvar
