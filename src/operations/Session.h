#pragma once

#include "link/Commands.h"
#include "link/SensorLink.h"
#include "model/SensorData.h"
#include "model/SensorList.h"
#include "operations/ApplyFlow.h"
#include "operations/Calibration.h"
#include "operations/CommStatus.h"
#include "operations/DataFileFlow.h"
#include "operations/GraphFlow.h"
#include "operations/Log.h"
#include "operations/MonitorFlow.h"
#include "operations/PortOptions.h"
#include "operations/Setpoints.h"
#include "operations/StatusBar.h"
#include "operations/View.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace kelvar {

// What the window shows of the sensor that was read.
struct SensorIdentityView {
    QString resolution; // "0.0010 in"
    QString serialNumber;
    QString model;
    QString firmwareVersion;
    QString firmwareDate;
    QString units; // "English" or "Metric"
    QString nullZero;
};

// The current sensor's captions after a read.
struct CurrentSensorView {
    QString programDataTitle; // " Actimar 3 Program Data  "
    QString addressText;      // "Network Address: 3"
    QString name;
    QString setpointHelp; // under the setpoint grid, with the travel limits
};

// Everything the main window owns for the whole run, and the flows that work
// on it: reading a sensor, the live monitor, the port and sensor searches.
// The window, kelvar-cli and the tests drive the same object; what only a
// window can do goes through cView, and what it shows is published through
// signals and plain state.
class cSession : public QObject {
    Q_OBJECT
public:
    static constexpr int ReloadCurrent = 65535;

    cSession(cSerialPort& port, cView& view, QObject* parent = nullptr);

    cSensorLink link;
    clsSensorData sensor;
    clsSensorList sensors;
    cCommands commands;
    cStatusBar statusBar;
    cView& view;
    cLog log;

    // --- the flows
    cMonitorFlow monitor;
    cGraphFlow graph;
    cApplyFlow apply;
    cDataFileFlow dataFile;
    cCalibrationFlow calibration;

    // --- window state the flows use
    bool ExcludePort1 = false; // "/ex": the port search starts at port 2
    float SensorLength = 0;    // user units
    float TravelMinimum = 0;   // user units, as shown on the Limits tab
    float TravelMaximum = 0;
    // The run-mode option shown on the Sensor tab; -1 while none is.
    int RunModeOption = -1;

    // --- the user's flows
    // Runs a flow (a read, a search, Apply, a move, calibration, a data file)
    // unless one runs already: the waits of a flow let the window's events
    // and timers run, and nothing may start a flow inside another. False when
    // refused. While a flow runs, the monitor does not poll and a tab shown
    // starts what it starts only once the flow has ended.
    bool RunUserFlow(const std::function<void()>& flow);
    bool FlowRunning() const { return flowRunning_; }
    // The Reset button: the sensor is read again, unapplied edits are gone.
    void Reset();
    // The program is ending: every request from now on fails at once, no
    // question is asked, and the flow that runs ends at its next request.
    void Abort();
    bool Aborted() const { return aborted_; }

    // --- the communications label
    const QString& CommLabel() const { return commLabel_; }
    bool CommLabelRed() const { return commLabelRed_; }
    void SetCommLabel(const QString& text, bool red);

    // --- the Communications tab
    // The port and speed options; opening a port selects its options.
    PortOptionGroup PortOptions;
    SpeedOptionGroup SpeedOptions;
    // The user chose an option: it becomes current, the port is not reopened.
    void ChoosePortOption(int index);
    void ChooseSpeedOption(int index);
    // Brings the status panel up to date with the link (commStatusChanged).
    void ShowCommStatus();
    const cCommStatus& CommStatus() const { return commStatus_; }
    const LinkDisplay& LinkTexts() const { return linkDisplay_; }

    // --- what was read
    const SensorIdentityView& Identity() const { return identity_; }
    const CurrentSensorView& CurrentSensor() const { return currentSensor_; }

    // --- reading a sensor
    // A number from the sensor list, or ReloadCurrent to read the current
    // sensor again without touching the port.
    void LoadSensor(int sensorNumber);
    void ReadSensorModel();
    void ReadParametersAndSetpoints();
    // The requests of the last read that got no valid answer.
    const QList<cCommands::Failure>& LastReadFailures() const { return lastReadFailures_; }
    // The sensor was read and every request of that read was answered: only
    // then is what the record holds what the sensor holds.
    bool ReadComplete() const;
    // The requests of the last read that got no valid answer, in words, and
    // why; empty when it was complete.
    QString ReadFailureText() const;
    // The parameters and setpoints whose requests the last read did not get
    // answered: the record holds 0 for them, not what the sensor holds.
    QSet<int> UnreadParameters() const;
    QSet<int> UnreadSetpoints() const;

    // What showing a tab does to the monitor and the readouts.
    void TabShown(int index);

    // --- setpoint moves
    static constexpr int NoSetpointRequest = 65535;
    // "View Only": the setpoint buttons show a setpoint without moving to it.
    bool ViewOnly = false;
    // Ticks or unticks "View Only" where the window shows it (viewOnlyChanged).
    void SetViewOnly(bool viewOnly);
    // A setpoint button was pressed: the next monitor tick shows the setpoint
    // and, as ShowSetpointWindow says, moves to it. A later press before that
    // tick replaces an earlier one; a press while a flow runs is refused, and
    // a flow that starts drops a press not yet served.
    void RequestSetpoint(int index);
    int PendingSetpoint() const { return pendingSetpoint_; }
    enum class MoveOutcome {
        Shown,        // shown only: nothing was sent
        Moved,        // velocity and target sent, and the sensor answered both
        NotConfirmed, // a request got no valid answer: the move is reported
        Refused,      // another flow runs: nothing was shown or sent
    };
    // ShowSetpointWindow with move, as a flow of its own.
    MoveOutcome MoveToSetpoint(int index);
    // Shows the setpoint (wrapped into the table) with its neighbours. With
    // move, and the Graph tab showing or "View Only" unticked, sends its
    // edited velocity and then its edited target: the cylinder moves. Then
    // polls target and velocity and starts the monitor.
    MoveOutcome ShowSetpointWindow(int index, bool move);
    // Shows the setpoint (wrapped) with its neighbours; nothing is sent.
    void ShowSetpointDisplay(int index);
    // "Load Setpoint Table": the monitor stops, test sequence `option` (see
    // FillSetpointTest) fills the edited setpoints, setpoint 0 is shown
    // without moving and the monitor starts. Refused, with a message, while
    // the travel limits and length are not the sensor's (not read, or their
    // requests went unanswered). Nothing is sent to the sensor's table.
    bool LoadSetpointTest(int option);
    const SetpointWindowView& SetpointWindowShown() const { return setpointWindow_; }

    // --- the searches
    void FindPorts();
    // The state for "no sensor known": address 1, the first port that could
    // be opened, the first speed.
    void ResetToNoSensor();
    // Why the ports the last port search could not open failed, one line
    // each ("Comm 1: /dev/ttyUSB0 does not exist").
    const QStringList& PortFailures() const { return portFailures_; }
    bool VerifySensorList();
    void ScanPort();
    void FullScan();
    // "Apply and Test Settings": the chosen port and speed searched.
    void CommApply();

signals:
    void identityChanged();
    void currentSensorChanged();
    void commLabelChanged();
    // The status panel's lines in the mask changed (bit i for line i); the
    // counters and the port line are always current.
    void commStatusChanged(unsigned changedLines);
    void linkTextsChanged();
    // The sensor list changed: the selector is filled again.
    void sensorsChanged();
    // A port option turned green (a sensor answered on it) or black again.
    void portOptionsChanged();
    // A read of the whole sensor begins and ends (the status shows it).
    void loadStarted();
    void loadFinished();
    // A flow of the user's begins or ends: the window disables what would
    // start another one.
    void flowRunningChanged(bool running);
    // The setpoint display changed (SetpointWindowShown).
    void setpointWindowChanged();
    void viewOnlyChanged(bool viewOnly);

private:
    // One value of the read, stored as read (in the record's own form).
    void StoreReadParameter(int index);
    void StoreReadSetpoint(int index, int field);
    // Asks again what a stray frame put in doubt during the read.
    void AskDoubtedAgain();
    // The limits that follow from the length and travel limits as read.
    void DeriveLimits();
    void RecordFoundSensor(int port, int speedIndex, int address);
    // Asks every address of the open port whether a sensor answers there;
    // `progress` hears each address before it is asked.
    void SearchAddresses(int port, int speedIndex, const std::function<void(int)>& progress);
    // A search starts from an empty list, off line.
    void ForgetSensors();
    // After a search: the list's current sensor is opened and read.
    void OpenFoundSensor();
    void ReportReadFailures();
    // The serial run mode's end of a read: the target is set to the position.
    void HoldTargetAtPosition();
    void ShowLinkTexts();

    QString commLabel_;
    bool commLabelRed_ = false;
    bool flowRunning_ = false;
    // The tab shown last while a flow ran; its monitor starts after the flow.
    std::optional<int> tabShownInFlow_;
    QStringList portFailures_;
    cCommStatus commStatus_;
    LinkDisplay linkDisplay_;
    SensorIdentityView identity_;
    CurrentSensorView currentSensor_;
    // Serial number to name, of the sensors known before a search.
    QHash<QString, QString> knownNames_;
    bool aborted_ = false;
    QList<cCommands::Failure> lastReadFailures_;
    QString readAdvice_; // why the last read failed, when the link could tell
    int pendingSetpoint_ = NoSetpointRequest;
    SetpointWindowView setpointWindow_{};
};

} // namespace kelvar
