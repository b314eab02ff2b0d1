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
#include "operations/ReadFlow.h"
#include "operations/SearchFlow.h"
#include "operations/SetpointFlow.h"
#include "operations/StatusBar.h"
#include "operations/View.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace kelvar {

// What the flows share for the whole run (the link, the sensor record and
// list, the view, the log, the Communications tab), the flows themselves, and
// the gate through which each of them starts. The window, kelvar-cli and the
// tests drive the same object; what only a window can do goes through cView.
class cSession : public QObject {
    Q_OBJECT
public:
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
    cMonitorFlow monitor;
    cGraphFlow graph;
    cApplyFlow apply;
    cDataFileFlow dataFile;
    cCalibrationFlow calibration;

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
    // The communications label tells why the chosen port failed, if it did.
    void ChoosePortOption(int index);
    void ChooseSpeedOption(int index);
    // Brings the status panel up to date with the link (commStatusChanged).
    void ShowCommStatus();
    const cCommStatus& CommStatus() const { return commStatus_; }
    const LinkDisplay& LinkTexts() const { return linkDisplay_; }

    // What showing a tab does to the monitor and the readouts.
    void TabShown(int index);

    // The sensor's state is known only while its port is open and it is on
    // line; otherwise what was shown last is a memory, and nothing may be
    // sent to it.
    bool SensorStateKnown() const;

signals:
    void commLabelChanged();
    // The status panel's lines in the mask changed (bit i for line i); the
    // counters and the port line are always current.
    void commStatusChanged(unsigned changedLines);
    void linkTextsChanged();
    // A flow of the user's begins or ends: the window disables what would
    // start another one.
    void flowRunningChanged(bool running);
    void sensorStateKnownChanged(bool known);
    // Abort() was called: work this session started elsewhere stops too.
    void aborting();

private:
    void ShowLinkTexts();
    void FollowSensorState();

    QString commLabel_;
    bool commLabelRed_ = false;
    // The label shows the chosen port's error.
    bool portErrorShown_ = false;
    bool sensorStateKnown_ = false;
    bool flowRunning_ = false;
    // The tab shown last while a flow ran; its monitor starts after the flow.
    std::optional<int> tabShownInFlow_;
    cCommStatus commStatus_;
    LinkDisplay linkDisplay_;
    bool aborted_ = false;
};

} // namespace kelvar
