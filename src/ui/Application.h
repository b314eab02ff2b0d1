#pragma once

#include "link/SerialPort.h"
#include "operations/Session.h"
#include "shell/Help.h"
#include "shell/Startup.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>

namespace kelvar {

class AsciiSensor;
class cCautions;
class cMachineWork;
class cSensorSelection;
class cStatusDisplay;
class AsciiSplash;
class cRegistry;
class cPrintSurface;
namespace sim {
class SimNetwork;
}

struct cAppOptions {
    QStringList portMappings; // "N=DEVICE"
    bool simulate = false;    // the built-in sensor network on Comm 1
    QString commandLine;      // for "/ex" and "/cal"
};

// The program as a whole: the session and the window, bound together, and
// the start-up and shutdown around them.
class cApplication : public QObject {
    Q_OBJECT
public:
    // Lines the Log tab shows at most (the newest); the log keeps all.
    static constexpr int LogViewLines = 5000;
    cApplication(const cAppOptions& options, cRegistry& registry, QObject* parent = nullptr);
    ~cApplication() override;

    // Runs the start-up sequence and shows the window. False when the
    // program must end at once (no serial port at all).
    bool Start();
    // Stops the monitor, closes the port, writes the settings; tells the user
    // when they could not be written. Runs once.
    void Shutdown();
    // SIGTERM or SIGINT: any question that is open is closed with its
    // negative answer, the flow that runs stops, the settings are written
    // and the program ends, whatever it was doing.
    void Terminate();
    // The user closes the window: with unapplied edits the user chooses to
    // apply them (the window closes when Apply succeeded), drop them, or go
    // on. True to close.
    bool MayClose();
    // A programming error ended the handling of an event: the user is told
    // what was being done and the program goes on.
    void ReportProgramError(const QString& doing, const QString& what);
    // The window was closed (or the program terminated): nothing is left to run.
    bool Finished() const { return shutDown_; }

    cSession& Session() { return *session_; }
    AsciiSensor& Window() { return *window_; }
    // What the Help menu shows, and where (tests give their own).
    cHelp& Help() { return *help_; }

private:
    void Bind();
    // The Communications tab's line settings, port and link statistics.
    void BindLine();
    void ShowLineSettings();
    void ShowPortInfo();
    void ShowLinkStatistics();
    void ShowStatusBar();
    void ShowCommStatus(unsigned changedLines);
    void ShowLinkDisplay();
    void ShowPortOptions();
    void ShowSelector();
    void ShowStatusPanel(unsigned changedLights);
    void ShowStatusStrip(unsigned changedFields);
    void BindSelection();
    void BindLog();
    // The printer dialog, then the pages; nothing when the user cancels.
    void PrintPages(const std::function<void(cPrintSurface&)>& print);
    void BindHelp();
    // The Logging menu's check marks and captions, the items and the Log
    // tab enabled as logging is.
    void ShowLogOptions();
    void BindEditing();
    // The setpoint grid and its edit box, the setpoint buttons and display,
    // "View Only" and the test sequences.
    void BindSetpoints();
    // Opens the edit box over the grid's current cell, unless a read runs.
    void BeginCellEdit();
    // Closes an open edit box: its text is committed into the cell it was
    // opened over, and the changed settings are shown.
    void CloseCellEdit();
    // The Calibration tab, the "Calibrate Sensor" menu item.
    void BindCalibration();
    // The Graph tab: chart, Start/Stop, Pause, scale, setpoint buttons, Save Graph.
    void BindGraph();
    // Shows the edited values in every field and option.
    void ShowSettings(bool force);
    void ShowFieldHelp();
    // The pictograph label of the quantity a field edits turns dark green.
    void HighlightPictograph(int reg);
    // Puts the window where it was left (state_.Left, state_.Top), or on the
    // primary screen when that place is on no screen any more.
    void PlaceWindow();

    cAppOptions options_;
    cRegistry& registry_;
    std::unique_ptr<sim::SimNetwork> network_;
    std::unique_ptr<cSerialPort> port_;
    std::unique_ptr<AsciiSensor> window_;
    std::unique_ptr<AsciiSplash> splash_;
    std::unique_ptr<cSession> session_;
    std::unique_ptr<cStatusDisplay> statusDisplay_;
    std::unique_ptr<cSensorSelection> selection_;
    std::unique_ptr<cCautions> cautions_;
    std::unique_ptr<cMachineWork> machine_;
    std::unique_ptr<cBrowser> browser_;
    std::unique_ptr<cHelp> help_;
    cShellState state_;
    bool started_ = false;
    // Devices whose notice (a slow USB adapter) was shown.
    QSet<QString> noticesShown_;
    bool shutDown_ = false;
    bool terminating_ = false;
    // Raised while a sensor is read: the grid opens no edit box.
    bool setpointGridGuard_ = false;
    // The grid cell (row 0 holds setpoint 0) the edit box is open over.
    bool cellEditOpen_ = false;
    int editRow_ = 0;
    int editColumn_ = TargetCell;
    // The highlighted setpoint button; -1 before the first click.
    int selectedSetpoint_ = -1;
};

} // namespace kelvar
