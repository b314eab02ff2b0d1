#pragma once

#include "operations/Editing.h"
#include "operations/Session.h"
#include "operations/View.h"

#include <QHash>
#include <QMainWindow>
#include <functional>
#include <stdexcept>

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QTabWidget;

namespace kelvar {

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
    explicit AsciiSensor(QWidget* parent = nullptr);

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
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    QString AskFileName(bool save, const QString& title, const QString& folder,
                        const QString& proposedName, const QString& filter) override;
    bool ShowInformation(const QString& text, const QString& caution) override;

    // The control of that name; a missing name is a programming error.
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
    QGridLayout* BuildSetpointButtons(const QString& name, int columns);
    // A frame of option buttons name_0 ... laid out row by row in `columns`
    // columns; toolTips may leave out the last options.
    QGroupBox* OptionFrame(const QString& frameName, const QString& title, const QString& name,
                           const QStringList& captions, int columns,
                           const QStringList& toolTips = {});
    // The frame or box of a settings option group.
    QGroupBox* OptionFrame(OptionGroup group);
    QCheckBox* OptionBox(OptionGroup group);
    QButtonGroup* MakeGroup(const QString& name, bool exclusive);
    void WatchFocus();

    QTabWidget* tabs_ = nullptr;
    QHash<QObject*, KeyHandler> keyHandlers_;
};

} // namespace kelvar
