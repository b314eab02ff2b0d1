#pragma once

#include "files/DataFile.h"
#include "link/Commands.h"
#include "link/SensorLink.h"
#include "model/SensorData.h"
#include "model/SensorList.h"
#include "operations/Calibration.h"
#include "operations/CommStatus.h"
#include "operations/Graph.h"
#include "operations/Log.h"
#include "operations/PortOptions.h"
#include "operations/ReadFlow.h"
#include "operations/SearchFlow.h"
#include "operations/SetpointFlow.h"
#include "operations/StatusBar.h"
#include "operations/View.h"
#include "operations/WritePlan.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

namespace kelvar {

// The live values the monitor shows, and where.
enum class Readout { Position, Velocity, Target };
inline constexpr int ReadoutCount = 3;
inline constexpr std::array<Readout, ReadoutCount> AllReadouts = {
    Readout::Position, Readout::Velocity, Readout::Target};
enum class ReadoutPanel { Monitor, Graph, Calibration };

// Everything the main window owns for the whole run, and the flows that work
// on it: reading a sensor, the live monitor, the port and sensor searches.
// The window, kelvar-cli and the tests drive the same object; what only a
// window can do goes through cView, and what it shows is published through
// signals and plain state.
class cSession : public QObject {
    Q_OBJECT
public:
    static constexpr int MonitorIntervalMs = 75;
    static constexpr int GraphMonitorIntervalMs = 30;

    cSession(cSerialPort& port, cView& view, QObject* parent = nullptr);

    cSensorLink link;
    clsSensorData sensor;
    clsSensorList sensors;
    cCommands commands;
    cStatusBar statusBar;
    cView& view;
    cLog log;

    // --- the flows
    cReadFlow read{*this};
    cSearchFlow search{*this};
    cSetpointFlow setpoints{*this};

    // --- window state the flows use
    bool CalibrationMode = false;

    // --- the user's flows
    // Runs a flow (a read, a search, Apply, a move, calibration, a data file)
    // unless one runs already: the waits of a flow let the window's events
    // and timers run, and nothing may start a flow inside another. False when
    // refused. While a flow runs, the monitor does not poll and a tab shown
    // starts what it starts only once the flow has ended.
    bool RunUserFlow(const std::function<void()>& flow);
    bool FlowRunning() const { return flowRunning_; }
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

    // --- the live monitor
    QTimer MonitorTimer;
    // A readout is stale while the last poll for it got no good answer (or
    // the port is gone): the window must not show its last value as if it
    // were the sensor's.
    bool ReadoutStale(Readout readout) const;

    // --- a lost port
    // Tries the lost sensor's port again now and then; when it opens and the
    // sensor answers, the sensor is read and the monitor resumes.
    static constexpr int ReconnectIntervalMs = 1500;
    QTimer ReconnectTimer;
    void ReconnectTick();
    void StartMonitor();
    void StopMonitor();
    void MonitorTick();
    bool MonitorRunning() const { return MonitorTimer.isActive(); }
    // What showing a tab does to the monitor and the readouts.
    void TabShown(int index);
    // Redraws the panel's readouts that changed (on the Monitor tab; every
    // one on another panel); with reset, sets position, velocity and target
    // to 0 first.
    void UpdateReadouts(bool reset, ReadoutPanel panel = ReadoutPanel::Monitor);

    // True from the graph's Start to its Stop, paused or not.
    bool GraphRunning = false;

    // --- one parameter written at once, outside Apply (calibration, kelvar-cli param)
    struct ImmediateWrite {
        bool mode5 = true;                // the sensor went into its write mode: the value was sent
        std::optional<std::int32_t> held; // what the sensor answered it holds
    };
    // Puts the sensor into its write mode, writes the value and reads it
    // back. Only an answer of the sensor's goes into the record: both columns
    // become what it holds, or, when it did not answer, keep the value last
    // read. The requests that failed are left for the caller.
    ImmediateWrite WriteParameterNow(int reg, std::int32_t value);

    // --- calibration (the Calibration tab, with "/cal")
    // Writes the zero adjust / null zero (counts) at once and reads it back;
    // true when the sensor answered that it holds it. A value outside the
    // limits is not sent; a write the sensor did not confirm is told.
    bool SetZeroAdjust(std::int32_t counts);
    bool SetNullZero(std::int32_t counts);
    // Enter or Tab in a calibration field: the typed value is written, or the
    // field goes back to the value the sensor holds.
    void EnterCalibrationValue(CalibrationField field, const QString& text);
    // An up-down click: the edited value moved by step and written at once.
    void StepCalibrationValue(CalibrationField field, int step);
    // "Auto Zero Adjust": asks first; only answered position readings of the
    // test magnet count; on any failure the zero adjust it started from is
    // put back.
    void AutoZeroAdjust();
    // The target set to this click's position reading (only with motion
    // enabled), or to the middle of the sensor.
    void SetTargetToPosition();
    void SetTargetToMidpoint();
    // The "Calibrate Sensor" menu item's check mark.
    void SetCalibrationMode(bool on);
    // --- the graph
    cGraph Graph;
    // The scale list's entry; -1 for none.
    int GraphScaleEntry = DefaultGraphScale;
    // Start and Stop: the monitor polls every 30 ms while the graph runs and
    // each tick adds a sample. Refused while a flow runs.
    void StartStopGraph();
    // Pause and Resume: the chart and its index stay.
    void PauseGraph();
    bool GraphPaused() const { return graphPaused_; }
    QString StartGraphCaption() const;
    QString PauseGraphCaption() const;
    // Scale and buffers for the current sensor and the chart's width.
    void InitGraph();
    // Asks for an image file and then a CSV file; writeImage puts the chart
    // as the window shows it into the file. Tells the user what failed.
    void SaveGraph(const std::function<bool(QIODevice&)>& writeImage);

    // --- applying changes
    // Writes exactly the plan's values, in its order. What the sensor did not
    // confirm is kept for Apply to report.
    void WriteChanges(const WritePlan& plan);
    // What Apply would write now; the window's review, kelvar-cli diff and
    // apply all show this list, and the writes carry out the list shown.
    WritePlan PendingWrites() {
        return PlanWrites(sensor, read.UnreadParameters(), read.UnreadSetpoints());
    }
    // The Apply button: write, tell about a power cycle, follow a new address
    // or speed, read the whole sensor again, report what was not confirmed.
    void Apply();
    // Before Apply writes: a question when the read was incomplete, then the
    // plan; the plan the user agreed to, or nothing.
    std::optional<WritePlan> ConfirmWrites();
    // Asks first when the record is not a complete read; true to go on.
    bool ConfirmIncompleteRead(const QString& title, const QString& doing);

    struct Unconfirmed {
        PlannedWrite write;
        // "sensor holds 12", "no answer", or "not written: " and why
        QString outcome;
        QString Text() const {
            return QStringLiteral("%1: %2, %3").arg(write.item, write.valueText, outcome);
        }
    };
    const QList<Unconfirmed>& LastUnconfirmed() const { return unconfirmed_; }
    // Why the writes failed when the link can tell (the sensor stopped
    // answering, answers came late); empty otherwise.
    const QString& ApplyAdvice() const { return applyAdvice_; }
    // Why the pending address cannot be written: another sensor already
    // answers at it (listed, or found by asking the line); empty when free.
    QString AddressConflict();
    // The port failed during the last write or read; its reason is the link's
    // PortErrorText().
    bool PortFailed() const { return !link.PortIsOpen(); }
    // Enables Apply while something is pending.
    void RefreshApplyState();

    // --- the data file
    // Asks for a file and saves the record's edited values to it / loads them
    // from it. The earlier file survives a failed save; a failed load changes
    // nothing. Both tell the user what went wrong.
    void SaveSensorData();
    void LoadSensorData();
    // A data file read and held against the sensor before any of it is used.
    struct DataFileCheck {
        std::optional<DataFileContents> contents; // empty when refused
        QString refusal;                          // why the file cannot be used at all
        QStringList doubts; // what the user must agree to first, one line each
        QStringList notes;  // only worth a mention
    };
    DataFileCheck CheckSensorDataFile(const QString& path);
    // Puts a checked file's values into the edited columns.
    void UseSensorDataFile(const QString& path, const DataFileContents& contents);
    // The file saved or loaded last; empty after Reset.
    const QString& CurrentFile() const { return currentFile_; }
    // The file the window's caption names: the data file or the log saved last.
    void SetCurrentFile(const QString& path);
    void ForgetCurrentFile();

signals:
    // A readout's new text on one panel.
    void readoutShown(kelvar::ReadoutPanel panel, kelvar::Readout readout, const QString& text);
    void commLabelChanged();
    // The status panel's lines in the mask changed (bit i for line i); the
    // counters and the port line are always current.
    void commStatusChanged(unsigned changedLines);
    void linkTextsChanged();
    void applyEnabledChanged(bool enabled);
    // The current data file changed: its bare name, or empty for none.
    void currentFileChanged(const QString& bareName);
    // The settings were loaded from a file: every field is shown again.
    void settingsLoaded();
    // A monitor poll ("A", "B" or "C") has ended; its values are the
    // decoder's only when it was answered.
    void monitorPolled(char letter, cSensorLink::Outcome outcome);
    // A flow of the user's begins or ends: the window disables what would
    // start another one.
    void flowRunningChanged(bool running);
    void readoutsStaleChanged();
    // A calibration value was written or refused: its field shows what the
    // sensor holds.
    void calibrationChanged();
    // Start, Stop, Pause or Resume: captions and what is enabled change.
    void graphStateChanged();
    // What to draw on the chart now.
    void graphDrawn(const kelvar::GraphPlot& plot);

private:
    bool SetCalibrationValue(CalibrationField field, std::int32_t value);
    // One write of Apply: why it was not confirmed, or nothing when it was.
    std::optional<Unconfirmed> WritePlanned(const PlannedWrite& write);
    void WriteDoubtedAgain(const WritePlan& plan);
    QString FormatReadout(float value) const;
    void ShowReadout(ReadoutPanel panel, Readout readout, float value, const QString& text);
    void ShowLinkTexts();

    QString commLabel_;
    bool commLabelRed_ = false;
    bool flowRunning_ = false;
    // The tab shown last while a flow ran; its monitor starts after the flow.
    std::optional<int> tabShownInFlow_;
    std::array<bool, ReadoutCount> stale_{};
    void SetStale(Readout readout, bool stale);
    cCommStatus commStatus_;
    LinkDisplay linkDisplay_;
    void OnPortLost(const QString& reason);
    // Where the lost sensor was.
    int lostPort_ = 0;
    int lostSpeed_ = 0;
    int lostAddress_ = 0;
    bool aborted_ = false;
    int pollCounter_ = 0;
    bool tickInProgress_ = false;
    QList<Unconfirmed> unconfirmed_;
    QString applyAdvice_; // why the last Apply's writes failed, when the link could tell
    QString currentFile_;
    // Per Monitor-tab readout the value last shown; -1 when none yet.
    std::array<float, ReadoutCount> shown_{-1, -1, -1};
    bool graphPaused_ = false;
    QElapsedTimer graphClock_;
    void GraphTabShown();
    // The monitor tick's sample, from the last answered position and target.
    void TakeGraphSample();
};

} // namespace kelvar
