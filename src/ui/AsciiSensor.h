#pragma once

#include "operations/CommStatus.h"
#include "operations/Editing.h"
#include "operations/Session.h"
#include "operations/StatusTexts.h"
#include "operations/View.h"
#include "ui/Look.h"

#include <QHash>
#include <QMainWindow>
#include <array>
#include <functional>
#include <stdexcept>
#include <utility>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace kelvar {

class cStripChart;

// The controls of each option group of the settings: a frame of option
// buttons name_0 ... (gathered in a QButtonGroup `name`), or one check box.
struct OptionControl {
    OptionGroup group;
    const char* frame; // nullptr for a check box
    const char* name;
    int columns;
};
inline constexpr std::array<OptionControl, 10> OptionControls = {{
    {OptionGroup::Run, "fraRunMode", "RunOption", 1},
    {OptionGroup::Cylinder, "fraCylinderType", "CylinderOption", 1},
    {OptionGroup::OutPut, "fraOutputMode", "OutPutOption", 1},
    {OptionGroup::Enable, "fraEnableMode", "EnableOption", 1},
    {OptionGroup::ServoBaud, "fraServoBaud", "ServoBaudOptions", 2},
    {OptionGroup::LoopTime, "fraLoopTime", "optLoopTime", 3},
    {OptionGroup::VelocityEnable, "fraVelocityResponse", "optVelocityEnable", 1},
    {OptionGroup::ReadoutDirection, "fraReadoutDirection", "ReadoutDirectionOption", 1},
    {OptionGroup::DrivePolarity, nullptr, "DrivePolarityCheckbox", 0},
    {OptionGroup::AutoNull, nullptr, "AutoNullCheck", 0},
}};
const OptionControl& OptionControlOf(OptionGroup group);

// The main window: menus, the ten tabs, the sensor selector, the status
// strip and the status bar. It shows what it is given and reports what the
// user does; every control carries its name as its object name, and a
// control array's elements are name_index. Arrays of options and buttons are
// also gathered in a QButtonGroup of the array's name whose ids are the
// indexes.
class AsciiSensor : public QMainWindow, public cView {
    Q_OBJECT
public:
    // The controls the program binds, kept as the window builds them. A
    // member named as an object name holds that control, an array named as a
    // control array holds its elements name_0 ...; the others say what they
    // hold, indexed as the tables the controls are built from.
    struct Controls {
        QAction* mnuSave = nullptr;
        QAction* mnuLoad = nullptr;
        QAction* mnuBackupAll = nullptr;
        QAction* mnuCompareBackup = nullptr;
        QAction* mnuRestoreBackup = nullptr;
        QAction* mnuPrint = nullptr;
        QAction* mnuExit = nullptr;
        QAction* mnuDefault = nullptr;
        QAction* mnuAutoSearch = nullptr;
        QAction* mnuShowAll = nullptr;
        QAction* mnuCalibrate = nullptr;
        QAction* mnuLogEnabled = nullptr;
        QAction* mnuSensorList = nullptr;
        QAction* mnuSensorData = nullptr;
        QAction* mnuRuntime = nullptr;
        QAction* mnuCommunications = nullptr;
        QAction* mnuSelectAll = nullptr;
        QAction* mnuHelpContents = nullptr;
        QAction* mnuHomePage = nullptr; // none when the build names no home page
        QAction* mnuAbout = nullptr;

        // StatusBar1_Panel1 to 4; the progress bar stands over panels 2 to 4.
        std::array<QLabel*, 4> StatusBar1_Panel{};
        QProgressBar* ProgressBar1 = nullptr;

        QTabWidget* SSTab1 = nullptr;
        QGroupBox* fraProgramData = nullptr;
        QPushButton* cmdDefaultSettings = nullptr;
        QPushButton* cmdSaveSettings = nullptr;
        QPushButton* cmdPrintSettings = nullptr;

        QGroupBox* fraSensorSelect = nullptr;
        QComboBox* cboSensorSelect = nullptr;
        QLabel* lblSensor = nullptr;
        std::array<QLabel*, StatusStripTexts.size()> lblStatusStrip{};
        QPushButton* cmdApply = nullptr;
        QPushButton* cmdReload = nullptr;

        // By ReadoutPanel and Readout; the Calibration tab shows no velocity.
        std::array<std::array<QLabel*, ReadoutCount>, 3> readouts{};
        // The captions above the Monitor and Graph tabs' readouts.
        std::array<std::array<QLabel*, ReadoutCount>, 2> readoutCaptions{};

        // The setpoint buttons; their ids are the setpoints' indexes.
        QButtonGroup* cmdSelect = nullptr;
        std::array<QLabel*, 3> lblSetpointNumber{};
        std::array<QLabel*, 3> lblSetpointTarget{};
        std::array<QLabel*, 3> lblSetpointVelocity{};
        std::array<QLabel*, 3> lblSetpointDwell{};
        QCheckBox* chkView = nullptr;

        // By the number fields' index.
        std::array<QLineEdit*, NumberFieldCount> txtData{};
        std::array<QLabel*, NumberFieldCount> lblData{};
        // UpDownN serves field N - 2; fields without a spin button have none.
        std::array<cUpDown*, NumberFieldCount> UpDown{};
        // By OptionGroup: the options of a frame (ids are the option
        // indexes), or the check box.
        std::array<QButtonGroup*, OptionControls.size()> options{};
        std::array<QCheckBox*, OptionControls.size()> checkBoxes{};
        QButtonGroup* Options(OptionGroup group) const {
            return options[static_cast<std::size_t>(group)];
        }
        QCheckBox* CheckBox(OptionGroup group) const {
            return checkBoxes[static_cast<std::size_t>(group)];
        }
        QComboBox* SensorAddressSelect = nullptr;
        QLabel* lblAutoNull = nullptr;

        QLabel* lblResolution = nullptr;
        std::array<QLabel*, 4> lblPicto{};
        std::array<QLabel*, 2> lblPictoWindow{};
        cCylinderDrawing* cylinder = nullptr;

        QTableWidget* MSFlexGrid1 = nullptr;
        QLineEdit* txtEditCell = nullptr;
        QLabel* lblEditInfo = nullptr;

        QLabel* lblStatusByte = nullptr;
        QLabel* lblControlByte = nullptr;
        // StatusLED_n and lblStatus_n, by status bit.
        std::array<cIndicator, StatusBitTexts.size()> statusLights{};
        QLabel* lblSerialNumber = nullptr;
        QLabel* lblModel = nullptr;
        QLabel* lblFirmwareVersion = nullptr;
        QLabel* lblFirmwareDate = nullptr;
        QLabel* lblUnits = nullptr;
        QLabel* lblInfoResolution = nullptr;
        QLabel* lblInfoNullZero = nullptr;
        QLineEdit* txtSensorName = nullptr;
        QLabel* lblSensorNameHint = nullptr;

        QPushButton* cmdStartGraph = nullptr;
        QPushButton* cmdPauseGraph = nullptr;
        QComboBox* cboScale = nullptr;
        QLineEdit* txtSampleRate = nullptr;
        QPushButton* cmdSaveGraph = nullptr;
        cStripChart* TimeBase = nullptr;
        QLabel* lblGraph_5 = nullptr; // the minimum travel limit
        QLabel* lblGraph_6 = nullptr; // the maximum
        QButtonGroup* cmdGraphSelect = nullptr;

        // Ids are the option indexes.
        QButtonGroup* optPort = nullptr;
        QButtonGroup* optBaud = nullptr;
        QPushButton* cmdCommApply = nullptr;
        QPushButton* cmdAutoBaudSearch = nullptr;
        QLabel* lblComm = nullptr;
        QLabel* lblPortStatus = nullptr;
        // CommLED_n and lblCommStatus_n, by line.
        std::array<cIndicator, CommLineTexts.size()> commLights{};
        std::array<QLabel*, 3> lblErrorText{};
        QComboBox* cboTimeout = nullptr;
        QComboBox* cboPacketInterval = nullptr;
        QLineEdit* txtTxData = nullptr;
        QLineEdit* txtRxData = nullptr;
        QLineEdit* txtPacketTime = nullptr;
        QLineEdit* txtIntervalTime = nullptr;
        QLabel* lblPacketDelay = nullptr;
        QLabel* lblPacketTime = nullptr;
        QLabel* lblPacketTimeout = nullptr;
        QPlainTextEdit* txtPortInfo = nullptr;
        QPlainTextEdit* txtLinkStatistics = nullptr;
        QSpinBox* spnRetries = nullptr;
        QComboBox* cboRs485 = nullptr;
        QComboBox* cboRs485Rts = nullptr;
        QSpinBox* spnRs485Before = nullptr;
        QSpinBox* spnRs485After = nullptr;

        QPlainTextEdit* rtbLog = nullptr;
        QPushButton* cmdUpdateLog = nullptr;
        QPushButton* cmdCopyLog = nullptr;
        QPushButton* cmdSaveLog = nullptr;
        QPushButton* cmdClearLog = nullptr;
        QPushButton* cmdPrintLog = nullptr;

        QLineEdit* txtAdjustValue = nullptr;
        cUpDown* UpDownAdjust = nullptr;
        QPushButton* cmdAutoAdjust = nullptr;
        QButtonGroup* optCalSetpoints = nullptr;
        QPushButton* cmdSetpointTest = nullptr;
        QPushButton* cmdMidPoint = nullptr;
        QPushButton* cmdCalibrateSetTarget = nullptr;
        QLineEdit* txtNullZero = nullptr;
        cUpDown* UpDownNullZero = nullptr;
        QLabel* lblCalibrate = nullptr;
    };

    explicit AsciiSensor(QWidget* parent = nullptr);

    const Controls& C() const { return controls_; }

    int VisibleTab() const override;
    void SelectTab(int index) override;
    void SetTabEnabled(int index, bool enabled) override;
    void SetTabVisible(int index, bool visible) override;
    MessageAnswer Ask(const QString& title, const QString& text, MessageIcon icon,
                      MessageButtons buttons) override;
    // Questions go to `prompter` instead of message boxes (for tests that
    // drive the window); nullptr restores the message boxes.
    void SetPrompter(cPrompter* prompter) { prompter_ = prompter; }
    // While quiet, every question is answered with its negative answer
    // without being shown: the program is ending.
    // Closing asks nothing either.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // Asked before the user's close goes ahead (not while quiet); false
    // keeps the window open.
    void SetCloseCheck(std::function<bool()> check) { closeCheck_ = std::move(check); }
    QString AskFileName(bool save, const QString& title, const QString& folder,
                        const QString& proposedName, const QString& filter) override;
    bool ShowInformation(const QString& text, const QString& caution) override;
    // Asks the prompter when one is set, as Ask does.
    QString AskFolder(const QString& title, const QString& folder) override;

    // The control of that name, for those who know the window by its object
    // names only (tests, benchmarks); a missing name is a programming error.
    template <class T> T* Control(const QString& name) const {
        T* control = findChild<T*>(name);
        if (control == nullptr) {
            throw std::out_of_range("no control " + name.toStdString());
        }
        return control;
    }
    template <class T> T* Control(const QString& name, int index) const {
        return Control<T>(name + QLatin1Char('_') + QString::number(index));
    }

    // The progress bar stands in place of status panels 2 to 4 while shown.
    void SetProgressShown(bool shown);

    // The handler sees every key pressed in the widget first; it returns
    // true when it has dealt with the key, which the widget then never sees.
    // A line edit with a key handler is an entry field: the focus arriving
    // there, by mouse or keyboard, selects its whole text, so that typing
    // replaces the value.
    using KeyHandler = std::function<bool(QKeyEvent*)>;
    void SetKeyHandler(QWidget* widget, KeyHandler handler);
    // Moves the focus on as the Tab key does.
    void FocusNext();
    // The Limits tab's lengths (travel limits, in-position window) name
    // these units in their captions.
    void SetLengthUnits(const QString& units);
    // The label showing a readout on a panel; nullptr where the panel has
    // none (the Calibration tab shows no velocity).
    QLabel* ReadoutLabel(ReadoutPanel panel, Readout readout) const;

signals:
    void tabChanged(int index);
    // Focus moving between controls of this window; not sent when the window
    // itself loses or regains the activation. The reason tells the user's
    // moves (mouse, Tab, shortcut) from the program's.
    void focusEntered(QWidget* control, Qt::FocusReason reason);
    void focusLeft(QWidget* control);
    // The user closes the window (its close box, Alt+F4).
    void closing();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    cPrompter* prompter_ = nullptr;
    bool quiet_ = false;
    std::function<bool()> closeCheck_;
    void BuildMenus();
    void BuildStatusBar();
    QWidget* BuildSideColumn();
    QWidget* BuildMonitorTab();
    QWidget* BuildSensorTab();
    QWidget* BuildDynamicsTab();
    QWidget* BuildLimitsTab();
    QWidget* BuildSetPointsTab();
    QWidget* BuildInformationTab();
    QWidget* BuildGraphTab();
    QWidget* BuildCommunicationsTab();
    QWidget* BuildLineFrame();
    QWidget* BuildLogTab();
    QWidget* BuildCalibrationTab();
    // Sixty buttons name_0 ... gathered in `group`, which is named `name`.
    QGridLayout* BuildSetpointButtons(QButtonGroup*& group, const QString& name, int columns);
    // A frame of option buttons name_0 ... gathered in `group`, which is
    // named `name`, laid out row by row in `columns` columns; toolTips may
    // leave out the last options.
    QGroupBox* OptionFrame(const QString& frameName, const QString& title, QButtonGroup*& group,
                           const QString& name, const QStringList& captions, int columns,
                           const QStringList& toolTips = {});
    // The frame or box of a settings option group.
    QGroupBox* OptionFrame(OptionGroup group);
    QCheckBox* OptionBox(OptionGroup group);
    QButtonGroup* MakeGroup(const QString& name, bool exclusive);
    void WatchFocus();

    Controls controls_;
    QHash<QObject*, KeyHandler> keyHandlers_;
};

} // namespace kelvar
