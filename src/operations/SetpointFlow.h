#pragma once

#include "operations/Setpoints.h"

#include <QObject>

namespace kelvar {

class cSession;

// What showing a setpoint with a move did.
enum class MoveOutcome {
    Shown,        // shown only: nothing was sent
    Moved,        // velocity and target sent: the sensor answered both, or shows the target
    NotConfirmed, // a request got no valid answer: the move is reported
    Refused,      // another flow runs: nothing was shown or sent
};

// The setpoint buttons and the setpoint display: a setpoint shown, and with
// "View Only" unticked the cylinder sent to it; the test sequences.
class cSetpointFlow : public QObject {
    Q_OBJECT
public:
    static constexpr int NoSetpointRequest = 65535;

    explicit cSetpointFlow(cSession& session);

    // "View Only": the setpoint buttons show a setpoint without moving to it.
    bool ViewOnly() const { return viewOnly_; }
    // Ticks or unticks "View Only" where the window shows it (viewOnlyChanged).
    void SetViewOnly(bool viewOnly);
    // A setpoint button was pressed: the next monitor tick shows the setpoint
    // and, as ShowSetpointWindow says, moves to it. A later press before that
    // tick replaces an earlier one; a press while a flow runs is refused, and
    // a flow that starts drops a press not yet served.
    void RequestSetpoint(int index);
    int PendingSetpoint() const { return pendingSetpoint_; }
    // The press not yet served is served, or dropped because a flow starts.
    void DropRequest();
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

signals:
    // The setpoint display changed (SetpointWindowShown).
    void setpointWindowChanged();
    void viewOnlyChanged(bool viewOnly);

private:
    cSession& session_;
    bool viewOnly_ = false;
    int pendingSetpoint_ = NoSetpointRequest;
    SetpointWindowView setpointWindow_{};
};

} // namespace kelvar
