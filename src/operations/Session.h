#pragma once

#include "link/Commands.h"
#include "link/SensorLink.h"
#include "model/SensorData.h"
#include "model/SensorList.h"
#include "operations/StatusBar.h"
#include "operations/View.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

namespace kelvar {

// Everything the main window owns for the whole run, and the flows that work
// on it: reading a sensor, the live monitor, the port and sensor searches.
// The window, kelvar-cli and the tests drive the same object; what only a
// window can do goes through cView, and what it shows is published through
// signals and plain state.
class cSession : public QObject {
    Q_OBJECT
public:
    static constexpr int ReloadCurrent = 65535;
    static constexpr int MonitorIntervalMs = 75;
    static constexpr int GraphMonitorIntervalMs = 30;

    cSession(cSerialPort& port, cView& view, QObject* parent = nullptr);

    cSensorLink link;
    clsSensorData sensor;
    clsSensorList sensors;
    cCommands commands;
    cStatusBar statusBar;
    cView& view;

    // --- window state the flows use
    bool CalibrationMode = false;
    bool ExcludePort1 = false; // "/ex": the port search starts at port 2
    float SensorLength = 0;    // user units
    float TravelMinimum = 0;   // user units, as shown on the Limits tab
    float TravelMaximum = 0;
    // The run-mode option shown on the Sensor tab; -1 while none is.
    int RunModeOption = -1;

    // --- the communications label
    const QString& CommLabel() const { return commLabel_; }
    bool CommLabelRed() const { return commLabelRed_; }
    void SetCommLabel(const QString& text, bool red);

    // --- reading a sensor
    // A number from the sensor list, or ReloadCurrent to read the current
    // sensor again without touching the port.
    void LoadSensor(int sensorNumber);
    void ReadSensorModel();
    void ReadParametersAndSetpoints();
    // The requests of the last read that got no valid answer.
    const QList<QByteArray>& LastReadFailures() const { return lastReadFailures_; }

    // --- the live monitor
    QTimer MonitorTimer;
    void StartMonitor();
    void StopMonitor();
    void MonitorTick();
    bool MonitorRunning() const { return MonitorTimer.isActive(); }
    // What showing a tab does to the monitor and the readouts.
    void TabShown(int index);
    // Redraws the Monitor tab's readouts that changed; with reset, sets
    // position, velocity and target to 0 first.
    void UpdateReadouts(bool reset);

    // --- applying changes
    // Writes every pending parameter and setpoint. What the sensor did not
    // confirm is kept for Apply to report.
    void WriteChanges();
    // The Apply button: write, tell about a power cycle, follow a new address
    // or speed, read the whole sensor again, report what was not confirmed.
    void Apply();
    struct Unconfirmed {
        QString item; // parameter name or "Setpoint n target/velocity/dwell"
        qint32 sent;
        QString held; // the value the sensor echoed, or that it did not answer
    };
    const QList<Unconfirmed>& LastUnconfirmed() const { return unconfirmed_; }
    // Enables Apply while something is pending.
    void RefreshApplyState();

    // --- the data file
    // Asks for a file and saves the record's edited values to it / loads them
    // from it. The earlier file survives a failed save; a failed load changes
    // nothing. Both tell the user what went wrong.
    void SaveSensorData();
    void LoadSensorData();
    // The file saved or loaded last; empty after Reset.
    const QString& CurrentFile() const { return currentFile_; }
    void ForgetCurrentFile();
    // --- the searches
    void FindPorts();
    bool VerifySensorList();
    void ScanPort();
    void FullScan();
    // "Apply and Test Settings": the chosen port and speed searched.
    void CommApply();

signals:
    // A label's new text, by the label's object name.
    void draw(const QString& label, const QString& text);
    void commLabelChanged();
    // The sensor list changed: the selector is filled again.
    void sensorsChanged();
    // A port option turned green (a sensor answered on it) or black again.
    void portOptionsChanged();
    void applyEnabledChanged(bool enabled);
    // Apply is writing: Reset must wait.
    void applyRunning(bool running);
    // The current data file changed: its bare name, or empty for none.
    void currentFileChanged(const QString& bareName);
    // The settings were loaded from a file: every field is shown again.
    void settingsLoaded();
    // A read of the whole sensor begins and ends (the status shows it).
    void loadStarted();
    void loadFinished();

private:
    void AdjustReadValue(int index, std::int32_t& value, std::int32_t& minTravel,
                         std::int32_t& maxTravel);
    void DeriveLimits(std::int32_t minTravel, std::int32_t maxTravel);
    void RecordFoundSensor(int port, int speedIndex, int address);
    // A search starts from an empty list, off line.
    void ForgetSensors();
    // After a search: the list's current sensor is opened and read.
    void OpenFoundSensor();
    void ReportReadFailures();
    QString FormatReadout(float value) const;

    QString commLabel_;
    bool commLabelRed_ = false;
    int pollCounter_ = 0;
    bool tickInProgress_ = false;
    QList<QByteArray> lastReadFailures_;
    QList<Unconfirmed> unconfirmed_;
    QString currentFile_;
    // Per Monitor-tab readout the value last drawn; -1 when none yet.
    std::array<float, 3> drawn_{-1, -1, -1};
};

} // namespace kelvar
