#include "ui/AsciiSensor.h"

#include "link/SensorLink.h"
#include "link/SerialPort.h"
#include "model/SensorData.h"
#include "model/Speeds.h"
#include "model/Text.h"
#include "operations/CommStatus.h"
#include "operations/StatusTexts.h"
#include "shell/Maker.h"
#include "ui/InfoDialog.h"
#include "ui/Look.h"
#include "ui/StripChart.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <vector>

namespace kelvar {

namespace {

QString Indexed(const QString& name, int index) {
    return name + QLatin1Char('_') + QString::number(index);
}

QGroupBox* Frame(const QString& name, const QString& title) {
    auto* frame = new QGroupBox(title);
    frame->setObjectName(name);
    return frame;
}

QLabel* Label(const QString& text, const QString& name = {}) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    return label;
}

QPushButton* Button(const QString& name, const QString& caption, const QString& toolTip = {}) {
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    return button;
}

QLineEdit* Field(const QString& name, bool readOnly = false) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setReadOnly(readOnly);
    return field;
}

// A read-only block of text `lines` high and some 28 characters wide; it
// grows with the room the window has.
QPlainTextEdit* Report(const QString& name, int lines) {
    auto* text = new QPlainTextEdit;
    text->setObjectName(name);
    text->setReadOnly(true);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(text->font());
    text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    text->setMinimumSize(metrics.horizontalAdvance(QString(28, u'0')),
                         metrics.lineSpacing() * lines + 2 * text->frameWidth() + 8);
    return text;
}

QComboBox* List(const QString& name, const QStringList& entries) {
    auto* list = new QComboBox;
    list->setObjectName(name);
    list->addItems(entries);
    return list;
}

// A live value in large type.
QLabel* ReadoutBox(const QString& name, const QString& zero, const QString& toolTip = {}) {
    QLabel* readout = Label(zero, name);
    readout->setToolTip(toolTip);
    readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    readout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    readout->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    QFont font = readout->font();
    font.setPointSizeF(font.pointSizeF() * 1.8);
    font.setBold(true);
    readout->setFont(font);
    readout->setMinimumWidth(
        readout->fontMetrics().horizontalAdvance(QStringLiteral("00,000.0000")));
    return readout;
}

struct ReadoutEntry {
    const char* quantity;
    const char* caption; // an English sensor's (CaptionInUnits)
    const char* toolTip;
    const char* zero;
};
// In the order of Readout.
constexpr std::array<ReadoutEntry, ReadoutCount> ReadoutEntries{{
    {"Position", "Position\n(in)", "Current Position", "0.000"},
    {"Velocity", "Velocity\n(in/sec)", "Current Velocity", "0.0"},
    {"Target", "Target\n(in)", "Current Target", "0.000"},
}};

using Readouts = std::array<QLabel*, ReadoutCount>;

// Caption above readout, one column per value: <prefix>Position and
// <prefix>PositionCaption ...
void AddReadouts(QGridLayout* grid, const QString& prefix, Readouts& readouts, Readouts& captions) {
    for (int i = 0; i < static_cast<int>(ReadoutEntries.size()); ++i) {
        const auto at = static_cast<std::size_t>(i);
        const ReadoutEntry& entry = ReadoutEntries[at];
        const QString name = prefix + QLatin1String(entry.quantity);
        captions[at] = Label(QLatin1String(entry.caption), name + QStringLiteral("Caption"));
        captions[at]->setAlignment(Qt::AlignCenter);
        grid->addWidget(captions[at], 0, i);
        readouts[at] = ReadoutBox(name, QLatin1String(entry.zero), QLatin1String(entry.toolTip));
        grid->addWidget(readouts[at], 1, i);
    }
}

// Captions of the parameter fields txtData_0 to txtData_16.
constexpr std::array<const char*, 17> FieldCaptions{
    "Gain",
    "Acceleration",
    "Deceleration",
    "Deceleration Window",
    "Drive Limit",
    "Dead Band",
    "Gain",
    "Acceleration",
    "Deceleration",
    "Deceleration Window",
    "Drive Limit",
    "Dead Band",
    "Window",
    "Minimum",
    "Maximum",
    "In Position",
    "Zero Adjust\n (In.)",
};
// These fields' captions name the sensor's units below the caption.
constexpr int FirstLengthCaption = 13;
constexpr int LastLengthCaption = 15;

QString FieldCaption(int index, const QString& units) {
    const QString caption = QLatin1String(FieldCaptions[static_cast<std::size_t>(index)]);
    return CaptionInUnits(index >= FirstLengthCaption && index <= LastLengthCaption
                              ? caption + QStringLiteral("\n (in)")
                              : caption,
                          units);
}
// Caption lblData_n, field txtData_n and its spin button UpDown<n + 2>,
// one row each.
QGridLayout* ParameterFields(int first, int last, AsciiSensor::Controls& controls) {
    auto* grid = new QGridLayout;
    for (int index = first; index <= last; ++index) {
        const auto at = static_cast<std::size_t>(index);
        const int row = index - first;
        // Inches until a sensor says otherwise, as its record does.
        QLabel* caption = Label(FieldCaption(index, QStringLiteral("in")),
                                Indexed(QStringLiteral("lblData"), index));
        controls.lblData[at] = caption;
        grid->addWidget(caption, row, 0);
        QLineEdit* field = Field(Indexed(QStringLiteral("txtData"), index));
        field->setText(QStringLiteral("0"));
        field->setAlignment(Qt::AlignRight);
        field->setMaximumWidth(
            field->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
        controls.txtData[at] = field;
        grid->addWidget(field, row, 1);
        if (NumberFields()[at].spinMax != 0) {
            controls.UpDown[at] = new cUpDown(QStringLiteral("UpDown%1").arg(index + 2));
            grid->addWidget(controls.UpDown[at], row, 2);
        }
    }
    grid->setColumnStretch(0, 1);
    return grid;
}

using IndicatorText = IndicatorTexts;

// A light, its caption and optionally a bit number per row; rows[i] keeps
// row i.
void AddLampRows(QGridLayout* grid, int firstRow, const QString& lampName,
                 const QString& captionName, const IndicatorText* texts, int count, int firstIndex,
                 cIndicator* rows, const QString& bitName = {}) {
    for (int i = 0; i < count; ++i) {
        const IndicatorText& text = texts[i];
        const int index = firstIndex + i;
        const cIndicator row = MakeIndicator(IndicatorKind::Lamp, Indexed(lampName, index),
                                             Indexed(captionName, index), QLatin1String(text.on),
                                             QLatin1String(text.off), QLatin1String(text.toolTip));
        rows[i] = row;
        int column = 0;
        if (!bitName.isEmpty()) {
            grid->addWidget(Label(QString::number(i), Indexed(bitName, index)), firstRow + i,
                            column++);
        }
        grid->addWidget(row.light, firstRow + i, column++);
        grid->addWidget(row.caption, firstRow + i, column);
    }
}

// NeedsHomePage: left out when the build names no home page for the maker.
enum MenuFlag : unsigned {
    Submenu = 1,
    Separator = 2,
    Checkable = 4,
    Hidden = 8,
    NeedsHomePage = 16
};

using Controls = AsciiSensor::Controls;

struct MenuItem {
    int depth;
    const char* name;
    const char* caption;
    unsigned flags;
    QAction* Controls::*action = nullptr; // where the program finds the item
};

constexpr std::array<MenuItem, 33> Menus{{
    {0, "mnuFile", "&File", Submenu},
    {1, "mnuSave", "&Save Sensor Data...", 0, &Controls::mnuSave},
    {1, "mnuLoad", "&Load Sensor Data...", 0, &Controls::mnuLoad},
    {1, nullptr, nullptr, Separator},
    {1, "mnuBackupAll", "&Back Up All Sensors...", 0, &Controls::mnuBackupAll},
    {1, "mnuCompareBackup", "&Compare With Backup...", 0, &Controls::mnuCompareBackup},
    {1, "mnuRestoreBackup", "&Restore From Backup...", 0, &Controls::mnuRestoreBackup},
    {1, nullptr, nullptr, Separator},
    {1, "mnuPrint", "&Print Sensor Data...", 0, &Controls::mnuPrint},
    {1, nullptr, nullptr, Separator},
    {1, "mnuExit", "E&xit\tAlt+F4", 0, &Controls::mnuExit},
    {0, "mnuUtilities", "&Tools", Submenu},
    {1, "mnuDefault", "Load &Default Values", 0, &Controls::mnuDefault},
    {1, "mnuMin", "Set Data to Minimum", Hidden},
    {1, "mnuMax", "Set Data to Maximum", Hidden},
    {1, "mnuOptions", "Options...", Submenu},
    {2, "mnuAutoSearch", "Automatic Search", Checkable, &Controls::mnuAutoSearch},
    {2, "mnuShowAll", "Restore All Warnings", Checkable, &Controls::mnuShowAll},
    {2, "mnuCalibrate", "Calibrate Sensor", Checkable | Hidden, &Controls::mnuCalibrate},
    {2, "mnuLogging", "Logging", Submenu},
    {3, "mnuLogEnabled", "Enabled", Checkable, &Controls::mnuLogEnabled},
    {3, nullptr, nullptr, Separator},
    {3, "mnuSensorList", "Sensor List", Checkable, &Controls::mnuSensorList},
    {3, "mnuSensorData", "Sensor Data", Checkable, &Controls::mnuSensorData},
    {3, "mnuRuntime", "Run Time", Checkable | Hidden, &Controls::mnuRuntime},
    {3, "mnuCommunications", "Communications", Checkable, &Controls::mnuCommunications},
    {3, nullptr, nullptr, Separator},
    {3, "mnuSelectAll", "Select All", 0, &Controls::mnuSelectAll},
    {0, "mnuHelp", "&Help", Submenu},
    {1, "mnuHelpContents", "&Contents", 0, &Controls::mnuHelpContents},
    {1, nullptr, nullptr, Separator},
    // MakerName, as a literal
    {1, "mnuHomePage", KELVAR_MAKER " &Homepage", NeedsHomePage, &Controls::mnuHomePage},
    {1, "mnuAbout", "&About", 0, &Controls::mnuAbout},
}};

constexpr std::array<const char*, Tab::Count> TabCaptions{
    "Monitor",     "Sensor", "Dynamics",       "Limits", "SetPoints",
    "Information", "Graph",  "Communications", "Log",    "Calibration",
};

} // namespace

AsciiSensor::AsciiSensor(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("AsciiSensor"));
    setWindowTitle(QString::fromUtf8(FileDescription) + QStringLiteral(" v" KELVAR_VERSION));
    BuildMenus();
    BuildStatusBar();

    QTabWidget* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("SSTab1"));
    controls_.SSTab1 = tabs;
    const std::array<QWidget*, Tab::Count> pages{
        BuildMonitorTab(),   BuildSensorTab(),      BuildDynamicsTab(), BuildLimitsTab(),
        BuildSetPointsTab(), BuildInformationTab(), BuildGraphTab(),    BuildCommunicationsTab(),
        BuildLogTab(),       BuildCalibrationTab(),
    };
    for (int i = 0; i < Tab::Count; ++i) {
        tabs->addTab(new cScrollPane(pages[static_cast<std::size_t>(i)]),
                     QLatin1String(TabCaptions[static_cast<std::size_t>(i)]));
    }
    connect(tabs, &QTabWidget::currentChanged, this, &AsciiSensor::tabChanged);

    QGroupBox* programData =
        Frame(QStringLiteral("fraProgramData"), QStringLiteral(" Actimar  Program Data  "));
    controls_.fraProgramData = programData;
    auto* programLayout = new QVBoxLayout(programData);
    programLayout->addWidget(tabs);

    auto* bottomRow = new QHBoxLayout;
    controls_.cmdDefaultSettings =
        Button(QStringLiteral("cmdDefaultSettings"), QStringLiteral("Factory Settings"));
    controls_.cmdSaveSettings =
        Button(QStringLiteral("cmdSaveSettings"), QStringLiteral("Save Settings"));
    controls_.cmdPrintSettings =
        Button(QStringLiteral("cmdPrintSettings"), QStringLiteral("Print Settings"));
    for (QPushButton* button :
         {controls_.cmdDefaultSettings, controls_.cmdSaveSettings, controls_.cmdPrintSettings}) {
        bottomRow->addWidget(button);
    }
    bottomRow->addStretch();

    // Holds the lower-cased command line; never shown.
    QLineEdit* commandLine = Field(QStringLiteral("Text3"), true);
    commandLine->hide();

    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);
    grid->addWidget(new cScrollPane(BuildSideColumn(), cScrollPane::Scrolling::Vertical), 0, 0);
    grid->addWidget(programData, 0, 1);
    grid->addLayout(bottomRow, 1, 0, 1, 2);
    grid->addWidget(commandLine, 2, 0);
    grid->setColumnStretch(1, 1);
    setCentralWidget(central);

    WatchFocus();
}

void AsciiSensor::BuildMenus() {
    std::vector<QMenu*> open;
    for (const MenuItem& item : Menus) {
        open.resize(static_cast<std::size_t>(item.depth));
        QMenu* owner = item.depth > 0 ? open.back() : nullptr;
        if ((item.flags & Separator) != 0) {
            owner->addSeparator();
            continue;
        }
        if ((item.flags & NeedsHomePage) != 0 && MakerHomePage[0] == '\0') {
            continue;
        }
        const QString caption = QLatin1String(item.caption);
        const QString name = QLatin1String(item.name);
        if ((item.flags & Submenu) != 0) {
            QMenu* menu = owner != nullptr ? owner->addMenu(caption) : menuBar()->addMenu(caption);
            menu->setObjectName(name);
            open.push_back(menu);
            continue;
        }
        QAction* action = owner->addAction(caption);
        action->setObjectName(name);
        action->setCheckable((item.flags & Checkable) != 0);
        action->setVisible((item.flags & Hidden) == 0);
        if (item.action != nullptr) {
            controls_.*item.action = action;
        }
    }
}

void AsciiSensor::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    // Panel widths fit their longest usual texts.
    static constexpr std::array<const char*, 4> Samples{"", "Sensor #26 (0000000000)",
                                                        "Comm 16 @ 115.2K", "Monitor"};
    int coveredWidth = 0;
    std::array<QLabel*, 4> panels{};
    for (int i = 0; i < 4; ++i) {
        QLabel* panel = Label(QString(), QStringLiteral("StatusBar1_Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        const int width = panel->fontMetrics().horizontalAdvance(
                              QLatin1String(Samples[static_cast<std::size_t>(i)])) +
                          12;
        panel->setMinimumWidth(width);
        panels[static_cast<std::size_t>(i)] = panel;
        controls_.StatusBar1_Panel[static_cast<std::size_t>(i)] = panel;
        if (i > 0) {
            coveredWidth += width;
        }
    }
    auto* progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("ProgressBar1"));
    progress->setTextVisible(false);
    progress->setMinimumWidth(coveredWidth);
    progress->hide();
    controls_.ProgressBar1 = progress;
    bar->addWidget(panels[0], 1);
    bar->addPermanentWidget(progress);
    for (int i = 1; i < 4; ++i) {
        bar->addPermanentWidget(panels[static_cast<std::size_t>(i)]);
    }
}

void AsciiSensor::SetProgressShown(bool shown) {
    controls_.ProgressBar1->setVisible(shown);
    for (std::size_t i = 1; i < controls_.StatusBar1_Panel.size(); ++i) {
        controls_.StatusBar1_Panel[i]->setVisible(!shown);
    }
}

QButtonGroup* AsciiSensor::MakeGroup(const QString& name, bool exclusive) {
    auto* group = new QButtonGroup(this);
    group->setObjectName(name);
    group->setExclusive(exclusive);
    return group;
}

QGroupBox* AsciiSensor::OptionFrame(const QString& frameName, const QString& title,
                                    QButtonGroup*& group, const QString& name,
                                    const QStringList& captions, int columns,
                                    const QStringList& toolTips) {
    QGroupBox* frame = Frame(frameName, title);
    auto* grid = new QGridLayout(frame);
    group = MakeGroup(name, true);
    for (int i = 0; i < captions.size(); ++i) {
        auto* option = new QRadioButton(captions[i]);
        option->setObjectName(Indexed(name, i));
        option->setToolTip(toolTips.value(i));
        group->addButton(option, i);
        grid->addWidget(option, i / columns, i % columns);
    }
    return frame;
}

const OptionControl& OptionControlOf(OptionGroup group) {
    return *std::find_if(OptionControls.begin(), OptionControls.end(),
                         [group](const OptionControl& c) { return c.group == group; });
}

namespace {

QStringList ToList(const std::vector<QString>& texts) {
    return {texts.begin(), texts.end()};
}

} // namespace

QGroupBox* AsciiSensor::OptionFrame(OptionGroup group) {
    const OptionGroupDef& def = OptionGroupOf(group);
    const OptionControl& control = OptionControlOf(group);
    return OptionFrame(
        QLatin1String(control.frame), def.title, controls_.options[static_cast<std::size_t>(group)],
        QLatin1String(control.name), ToList(def.captions), control.columns, ToList(def.toolTips));
}

QCheckBox* AsciiSensor::OptionBox(OptionGroup group) {
    const OptionGroupDef& def = OptionGroupOf(group);
    auto* box = new QCheckBox(def.title);
    box->setObjectName(QLatin1String(OptionControlOf(group).name));
    controls_.checkBoxes[static_cast<std::size_t>(group)] = box;
    if (!def.toolTips.empty()) {
        box->setToolTip(def.toolTips.front());
    }
    return box;
}

QWidget* AsciiSensor::BuildSideColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    QGroupBox* selector =
        Frame(QStringLiteral("fraSensorSelect"), QStringLiteral(" Sensor Select (No Sensors) "));
    controls_.fraSensorSelect = selector;
    auto* selectorLayout = new QVBoxLayout(selector);
    controls_.cboSensorSelect =
        List(QStringLiteral("cboSensorSelect"), {QStringLiteral("No Sensor")});
    selectorLayout->addWidget(controls_.cboSensorSelect);
    controls_.lblSensor = Label(QStringLiteral("Network Address: "), QStringLiteral("lblSensor"));
    selectorLayout->addWidget(controls_.lblSensor);
    layout->addWidget(selector);

    for (int i = 0; i < static_cast<int>(StatusStripTexts.size()); ++i) {
        const IndicatorText& text = StatusStripTexts[static_cast<std::size_t>(i)];
        const cIndicator field = MakeIndicator(
            IndicatorKind::Field, {}, Indexed(QStringLiteral("lblStatusStrip"), i),
            QLatin1String(text.on), QLatin1String(text.off), QLatin1String(text.toolTip));
        controls_.lblStatusStrip[static_cast<std::size_t>(i)] = field.caption;
        layout->addWidget(field.caption);
    }

    QGroupBox* actions = Frame(QStringLiteral("fraActions"), QStringLiteral("Actions"));
    auto* actionLayout = new QHBoxLayout(actions);
    QPushButton* apply = Button(QStringLiteral("cmdApply"), QLatin1String(ApplyButtonCaption));
    apply->setEnabled(false);
    controls_.cmdApply = apply;
    actionLayout->addWidget(apply);
    controls_.cmdReload = Button(QStringLiteral("cmdReload"), QStringLiteral("Reset"));
    actionLayout->addWidget(controls_.cmdReload);
    layout->addWidget(actions);
    layout->addStretch();
    return column;
}

QGridLayout* AsciiSensor::BuildSetpointButtons(QButtonGroup*& group, const QString& name,
                                               int columns) {
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    group = MakeGroup(name, false);
    for (int i = 0; i < 60; ++i) {
        auto* button = new QToolButton;
        button->setObjectName(Indexed(name, i));
        button->setText(QString::number(SetpointNumber(i)));
        button->setToolTip(QStringLiteral("Selects Setpoint %1").arg(SetpointNumber(i)));
        SetButtonHighlight(button, false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("000")));
        group->addButton(button, i);
        grid->addWidget(button, i / columns, i % columns);
    }
    return grid;
}

QWidget* AsciiSensor::BuildMonitorTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    QGroupBox* position =
        Frame(QStringLiteral("fraCylinderPosition"), QStringLiteral("  Cylinder Position "));
    auto* readouts = new QGridLayout(position);
    AddReadouts(readouts, QStringLiteral("lbl"),
                controls_.readouts[static_cast<std::size_t>(ReadoutPanel::Monitor)],
                controls_.readoutCaptions[0]);
    layout->addWidget(position);

    auto* lower = new QHBoxLayout;
    QGroupBox* buttons =
        Frame(QStringLiteral("fraSetpointSelect"), QStringLiteral(" Select Setpoint "));
    buttons->setLayout(BuildSetpointButtons(controls_.cmdSelect, QStringLiteral("cmdSelect"), 10));
    lower->addWidget(buttons, 3);

    QGroupBox* display = Frame(QStringLiteral("fraSetpointDisplay"), QStringLiteral(" Setpoint "));
    auto* displayGrid = new QGridLayout(display);
    static constexpr std::array<const char*, 4> Columns{"Number", "Target", "Velocity", "Dwell"};
    static constexpr std::array<std::array<QLabel*, 3> Controls::*, 4> Cells{
        &Controls::lblSetpointNumber, &Controls::lblSetpointTarget, &Controls::lblSetpointVelocity,
        &Controls::lblSetpointDwell};
    static constexpr std::array<const char*, 4> Headings{"Setpoint", "Target", "Velocity", "Dwell"};
    static constexpr std::array<const char*, 4> Zeros{"0", "0.000", "0.0", "0.00"};
    for (int c = 0; c < 4; ++c) {
        const auto column = static_cast<std::size_t>(c);
        displayGrid->addWidget(Label(QLatin1String(Headings[column])), 0, c, Qt::AlignRight);
        for (int row = 0; row < 3; ++row) {
            QLabel* cell =
                Label(QLatin1String(Zeros[column]),
                      Indexed(QStringLiteral("lblSetpoint") + QLatin1String(Columns[column]), row));
            cell->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            // The middle row is the chosen setpoint, its neighbours around it.
            SetBold(cell, row == 1);
            (controls_.*Cells[column])[static_cast<std::size_t>(row)] = cell;
            displayGrid->addWidget(cell, row + 1, c);
        }
    }
    auto* view = new QCheckBox(QStringLiteral("View Only"));
    view->setObjectName(QStringLiteral("chkView"));
    controls_.chkView = view;
    displayGrid->addWidget(view, 4, 0, 1, 4);
    displayGrid->setRowStretch(5, 1);
    lower->addWidget(display, 2);
    layout->addLayout(lower);
    layout->addStretch();
    return page;
}

QWidget* AsciiSensor::BuildSensorTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    QGroupBox* link =
        Frame(QStringLiteral("fraRS485"), QStringLiteral(" Actimar RS-485 Communications "));
    auto* linkLayout = new QVBoxLayout(link);
    QGroupBox* address =
        Frame(QStringLiteral("fraNetworkAddress"), QStringLiteral(" Network Address "));
    auto* addressLayout = new QVBoxLayout(address);
    QStringList addresses;
    for (int i = 1; i <= 26; ++i) {
        addresses << QStringLiteral("Address %1").arg(i);
    }
    QComboBox* addressList = List(QStringLiteral("SensorAddressSelect"), addresses);
    addressList->setToolTip(QStringLiteral(" The Actimar network address."));
    controls_.SensorAddressSelect = addressList;
    addressLayout->addWidget(addressList);
    linkLayout->addWidget(address);
    QGroupBox* baud = OptionFrame(OptionGroup::ServoBaud);
    linkLayout->addWidget(baud);
    linkLayout->addStretch();

    QGroupBox* config = Frame(QStringLiteral("fraOperationalConfiguration"),
                              QStringLiteral(" Operational Configuration "));
    auto* configLayout = new QGridLayout(config);
    configLayout->addWidget(OptionFrame(OptionGroup::Run), 0, 0, 2, 1);
    configLayout->addWidget(OptionFrame(OptionGroup::Cylinder), 0, 1);
    configLayout->addWidget(OptionFrame(OptionGroup::OutPut), 1, 1);
    configLayout->addWidget(OptionFrame(OptionGroup::Enable), 0, 2, 2, 1);

    // Settings that take effect only after a power cycle are drawn in blue.
    for (QGroupBox* frame : {address, baud, config}) {
        SetTextColour(frame, Colour::Blue);
    }

    QLabel* note = Label(QStringLiteral("Note: Changes to the setups colored Blue will require "
                                        "Actimar power to be cycled OFF to ON in order to take "
                                        "effect."),
                         QStringLiteral("lblPowerNote"));
    note->setWordWrap(true);

    layout->addWidget(link, 0, 0);
    layout->addWidget(config, 0, 1);
    layout->addWidget(note, 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(1, 1);
    return page;
}

QWidget* AsciiSensor::BuildDynamicsTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    QGroupBox* extend = Frame(QStringLiteral("fraExtend"), QStringLiteral(" Extend Settings "));
    extend->setLayout(ParameterFields(0, 5, controls_));
    QGroupBox* retract = Frame(QStringLiteral("fraRetract"), QStringLiteral(" Retract Settings "));
    retract->setLayout(ParameterFields(6, 11, controls_));

    QGroupBox* autoNull = Frame(QStringLiteral("fraAutoNull"), QStringLiteral(" AutoNull "));
    auto* autoNullLayout = new QVBoxLayout(autoNull);
    autoNullLayout->addWidget(OptionBox(OptionGroup::AutoNull));
    autoNullLayout->addLayout(ParameterFields(12, 12, controls_));
    controls_.lblAutoNull = Label(QString(), QStringLiteral("lblAutoNull"));
    autoNullLayout->addWidget(controls_.lblAutoNull);

    QGroupBox* velocity = OptionFrame(OptionGroup::VelocityEnable);
    SetTextColour(velocity, Colour::Blue);

    QCheckBox* polarity = OptionBox(OptionGroup::DrivePolarity);

    layout->addWidget(extend, 0, 0, 3, 1);
    layout->addWidget(retract, 0, 1, 3, 1);
    layout->addWidget(autoNull, 0, 2);
    layout->addWidget(velocity, 1, 2);
    layout->addWidget(polarity, 2, 2);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget* AsciiSensor::BuildLimitsTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    QGroupBox* travel = Frame(QStringLiteral("fraTravelLimits"), QStringLiteral(" Travel Limits "));
    travel->setLayout(ParameterFields(13, 14, controls_));
    QGroupBox* window =
        Frame(QStringLiteral("fraInPositionWindow"), QStringLiteral(" In Position Window "));
    window->setLayout(ParameterFields(15, 15, controls_));
    QGroupBox* zero = Frame(QStringLiteral("fraZeroOffset"), QStringLiteral(" Zero Offset Adjust"));
    zero->setLayout(ParameterFields(16, 16, controls_));
    QGroupBox* direction = OptionFrame(OptionGroup::ReadoutDirection);

    auto* resolution = new QHBoxLayout;
    resolution->addWidget(Label(QStringLiteral("Resolution")));
    controls_.lblResolution = Label(QString(), QStringLiteral("lblResolution"));
    resolution->addWidget(controls_.lblResolution, 1);

    // The four value labels around the cylinder, positions 0 to 3 clockwise
    // from the top left, and the two in-position window labels below it.
    QGroupBox* pictograph = Frame(QStringLiteral("fraPictograph"), QString());
    auto* picture = new QGridLayout(pictograph);
    static constexpr std::array<const char*, 4> Quantities{"Zero Adjust", "Sensor Length",
                                                           "Max. Limit", "Min. Limit"};
    static constexpr std::array<std::pair<int, int>, 4> Places{{{0, 0}, {0, 2}, {2, 2}, {2, 0}}};
    for (int i = 0; i < 4; ++i) {
        const auto at = static_cast<std::size_t>(i);
        QLabel* label =
            Label(QLatin1String(Quantities[at]), Indexed(QStringLiteral("lblPicto"), i));
        label->setAlignment(Places[at].second == 0 ? Qt::AlignLeft : Qt::AlignRight);
        controls_.lblPicto[at] = label;
        picture->addWidget(label, Places[at].first, Places[at].second);
    }
    controls_.cylinder = new cCylinderDrawing;
    picture->addWidget(controls_.cylinder, 1, 0, 1, 3);
    for (int i = 0; i < 2; ++i) {
        QLabel* label = Label(QStringLiteral("In Position Window"),
                              Indexed(QStringLiteral("lblPictoWindow"), i));
        label->setAlignment(Qt::AlignCenter);
        controls_.lblPictoWindow[static_cast<std::size_t>(i)] = label;
        picture->addWidget(label, 3, i * 2);
    }

    layout->addWidget(travel, 0, 0);
    layout->addWidget(window, 0, 1);
    layout->addWidget(zero, 0, 2);
    layout->addWidget(direction, 1, 0);
    layout->addLayout(resolution, 1, 1);
    layout->addWidget(pictograph, 2, 0, 1, 3);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget* AsciiSensor::BuildSetPointsTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    // Row r of the table is grid row r + 1 below the fixed header row.
    auto* grid = new QTableWidget(60, 4);
    grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    controls_.MSFlexGrid1 = grid;
    grid->setHorizontalHeaderLabels({QStringLiteral("Setpoints"), QStringLiteral("Target"),
                                     QStringLiteral("Velocity"), QStringLiteral("Dwell")});
    QFont headerFont = grid->horizontalHeader()->font();
    headerFont.setPointSize(8);
    grid->horizontalHeader()->setFont(headerFont);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    static constexpr std::array<const char*, 3> Zeros{"0.000", "0.0", "0.00"};
    for (int row = 0; row < 60; ++row) {
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        number->setTextAlignment(Qt::AlignCenter);
        grid->setItem(row, 0, number);
        for (int column = 1; column < 4; ++column) {
            auto* cell =
                new QTableWidgetItem(QLatin1String(Zeros[static_cast<std::size_t>(column - 1)]));
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(row, column, cell);
        }
    }
    grid->setCurrentCell(0, 1);
    grid->setMaximumWidth(grid->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 64);

    // Laid over the current cell while it is edited; the viewport is the
    // cells' coordinate system.
    QLineEdit* editCell = Field(QStringLiteral("txtEditCell"));
    editCell->setParent(grid->viewport());
    editCell->setAlignment(Qt::AlignRight);
    editCell->hide();
    controls_.txtEditCell = editCell;

    QLabel* help = Label(FromCrLf(SetpointEditHelp()), QStringLiteral("lblEditInfo"));
    controls_.lblEditInfo = help;
    layout->addWidget(grid, 1);
    layout->addWidget(help);
    return page;
}

QWidget* AsciiSensor::BuildInformationTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    struct BytePanel {
        const char* frameName;
        const char* title;
        const char* byteCaption;
        const char* byteName;
        QLabel* Controls::*byte;
        int firstBit;
    };
    static constexpr std::array<BytePanel, 2> Panels{{
        {"fraActimarStatus", " Actimar Status", "Status Byte:", "lblStatusByte",
         &Controls::lblStatusByte, 0},
        {"fraActimarControl", " Actimar Control ", "Control Byte:", "lblControlByte",
         &Controls::lblControlByte, 8},
    }};
    for (int p = 0; p < static_cast<int>(Panels.size()); ++p) {
        const BytePanel& panel = Panels[static_cast<std::size_t>(p)];
        QGroupBox* frame = Frame(QLatin1String(panel.frameName), QLatin1String(panel.title));
        auto* grid = new QGridLayout(frame);
        grid->addWidget(Label(QLatin1String(panel.byteCaption)), 0, 0, 1, 2);
        controls_.*panel.byte =
            Label(QStringLiteral("0H (0000 0000)"), QLatin1String(panel.byteName));
        grid->addWidget(controls_.*panel.byte, 0, 2);
        AddLampRows(grid, 1, QStringLiteral("StatusLED"), QStringLiteral("lblStatus"),
                    StatusBitTexts.data() + panel.firstBit, 8, panel.firstBit,
                    controls_.statusLights.data() + panel.firstBit, QStringLiteral("lblStatusBit"));
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(9, 1);
        layout->addWidget(frame, 0, p, 2, 1);
    }
    QLabel* inverted = Label(QStringLiteral("*inverted"), QStringLiteral("lblInverted"));
    layout->addWidget(inverted, 2, 0);

    QGroupBox* identity = Frame(QStringLiteral("fraIdentity"), QStringLiteral(" Sensor "));
    auto* identityLayout = new QFormLayout(identity);
    struct IdentityItem {
        const char* caption;
        const char* name;
        QLabel* Controls::*label;
    };
    static constexpr std::array<IdentityItem, 7> Items{{
        {"Serial Number", "lblSerialNumber", &Controls::lblSerialNumber},
        {"Model", "lblModel", &Controls::lblModel},
        {"Version", "lblFirmwareVersion", &Controls::lblFirmwareVersion},
        {"Firmware Date", "lblFirmwareDate", &Controls::lblFirmwareDate},
        {"Units", "lblUnits", &Controls::lblUnits},
        {"Resolution", "lblInfoResolution", &Controls::lblInfoResolution},
        {"Null Zero", "lblInfoNullZero", &Controls::lblInfoNullZero},
    }};
    for (const IdentityItem& item : Items) {
        controls_.*item.label = Label(QString(), QLatin1String(item.name));
        identityLayout->addRow(QLatin1String(item.caption), controls_.*item.label);
    }
    layout->addWidget(identity, 0, 2);

    QGroupBox* naming = Frame(QStringLiteral("fraSensorName"), QStringLiteral(" Sensor Name "));
    auto* namingLayout = new QVBoxLayout(naming);
    QLineEdit* name = Field(QStringLiteral("txtSensorName"));
    // The settings keep at most 30 characters of a name.
    name->setMaxLength(30);
    controls_.txtSensorName = name;
    namingLayout->addWidget(name);
    controls_.lblSensorNameHint = Label(QStringLiteral("Examples: Right Knee Cylinder, Axis 1"),
                                        QStringLiteral("lblSensorNameHint"));
    namingLayout->addWidget(controls_.lblSensorNameHint);
    layout->addWidget(naming, 1, 2);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(2, 1);
    return page;
}

QWidget* AsciiSensor::BuildGraphTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    auto* readouts = new QGridLayout;
    AddReadouts(readouts, QStringLiteral("lblGraph"),
                controls_.readouts[static_cast<std::size_t>(ReadoutPanel::Graph)],
                controls_.readoutCaptions[1]);

    auto* controls = new QGridLayout;
    // The captions come with the graph's state.
    QPushButton* start = Button(QStringLiteral("cmdStartGraph"), QString(),
                                QStringLiteral("Starts / Stops Graphing"));
    QPushButton* pause = Button(QStringLiteral("cmdPauseGraph"), QString(),
                                QStringLiteral("Pause / Resume Graphing"));
    pause->setEnabled(false);
    controls_.cmdStartGraph = start;
    controls_.cmdPauseGraph = pause;
    controls->addWidget(start, 0, 0);
    controls->addWidget(pause, 0, 1);
    controls->addWidget(Label(QStringLiteral("Scale")), 1, 0);
    QComboBox* scale = List(QStringLiteral("cboScale"), GraphScaleCaptions());
    scale->setCurrentIndex(DefaultGraphScale);
    scale->setToolTip(QStringLiteral("Selects Display Speed"));
    controls_.cboScale = scale;
    controls->addWidget(scale, 1, 1);
    controls->addWidget(Label(QStringLiteral("Approx. Sample Rate")), 2, 0);
    auto* rate = new QHBoxLayout;
    QLineEdit* sampleRate = Field(QStringLiteral("txtSampleRate"), true);
    sampleRate->setMaximumWidth(
        sampleRate->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    controls_.txtSampleRate = sampleRate;
    rate->addWidget(sampleRate);
    rate->addWidget(Label(QStringLiteral("mSec")));
    controls->addLayout(rate, 2, 1);
    controls_.cmdSaveGraph =
        Button(QStringLiteral("cmdSaveGraph"), QStringLiteral("Save Graph..."),
               QStringLiteral("Saves the chart as an image and its samples as a CSV file"));
    controls->addWidget(controls_.cmdSaveGraph, 3, 0, 1, 2);

    auto* chart = new cStripChart;
    chart->setObjectName(QStringLiteral("TimeBase"));
    controls_.TimeBase = chart;

    // The travel limits beside the chart, maximum on top.
    auto* limits = new QVBoxLayout;
    limits->addWidget(Label(QStringLiteral("Limits")));
    controls_.lblGraph_6 = Label(QStringLiteral("0.00"), QStringLiteral("lblGraph_6"));
    limits->addWidget(controls_.lblGraph_6);
    limits->addStretch();
    controls_.lblGraph_5 = Label(QStringLiteral("0.00"), QStringLiteral("lblGraph_5"));
    limits->addWidget(controls_.lblGraph_5);

    layout->addLayout(readouts, 0, 0);
    layout->addLayout(controls, 0, 1);
    layout->addWidget(chart, 1, 0);
    layout->addLayout(limits, 1, 1);
    layout->addLayout(
        BuildSetpointButtons(controls_.cmdGraphSelect, QStringLiteral("cmdGraphSelect"), 20), 2, 0,
        1, 2);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);
    return page;
}

QWidget* AsciiSensor::BuildCommunicationsTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    QGroupBox* select =
        Frame(QStringLiteral("fraCommSelect"), QStringLiteral(" Select PC Comm Port and Speed"));
    auto* selectLayout = new QGridLayout(select);
    QStringList portCaptions;
    for (int port = 1; port <= 16; ++port) {
        portCaptions << QStringLiteral("Comm %1").arg(port);
    }
    QGroupBox* ports = OptionFrame(QStringLiteral("fraPort"), QStringLiteral(" Port"),
                                   controls_.optPort, QStringLiteral("optPort"), portCaptions, 4);
    QStringList speedCaptions;
    for (const SpeedEntry& speed : SpeedTable) {
        speedCaptions << QLatin1String(speed.caption);
    }
    QGroupBox* speeds = OptionFrame(QStringLiteral("fraSpeed"), QStringLiteral(" Speed"),
                                    controls_.optBaud, QStringLiteral("optBaud"), speedCaptions, 1);
    selectLayout->addWidget(ports, 0, 0);
    selectLayout->addWidget(speeds, 0, 1);
    controls_.cmdCommApply =
        Button(QStringLiteral("cmdCommApply"), QStringLiteral("Apply and Test Settings"));
    selectLayout->addWidget(controls_.cmdCommApply, 1, 0);
    controls_.cmdAutoBaudSearch =
        Button(QStringLiteral("cmdAutoBaudSearch"), QStringLiteral("Auto-baud Search"));
    selectLayout->addWidget(controls_.cmdAutoBaudSearch, 1, 1);

    QGroupBox* portStatus =
        Frame(QStringLiteral("fraCommPortStatus"), QStringLiteral(" Comm Port Status"));
    auto* portStatusLayout = new QVBoxLayout(portStatus);
    controls_.lblComm = Label(QStringLiteral("Unable To Connect"), QStringLiteral("lblComm"));
    portStatusLayout->addWidget(controls_.lblComm);
    controls_.lblPortStatus =
        Label(QStringLiteral("Comm Port Closed"), QStringLiteral("lblPortStatus"));
    portStatusLayout->addWidget(controls_.lblPortStatus);
    portStatusLayout->addStretch();

    QGroupBox* status =
        Frame(QStringLiteral("fraCommStatus"), QStringLiteral(" Communications Status"));
    auto* statusGrid = new QGridLayout(status);
    AddLampRows(statusGrid, 0, QStringLiteral("CommLED"), QStringLiteral("lblCommStatus"),
                CommLineTexts.data(), static_cast<int>(CommLineTexts.size()), 0,
                controls_.commLights.data());
    // The counters stand beside the Rx, CRC and Tx lines they count.
    for (int i = 0; i < 3; ++i) {
        QLabel* counter = Label(QStringLiteral("0"), Indexed(QStringLiteral("lblErrorText"), i));
        counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        counter->setMinimumWidth(
            counter->fontMetrics().horizontalAdvance(QStringLiteral("0,000,000")));
        controls_.lblErrorText[static_cast<std::size_t>(i)] = counter;
        statusGrid->addWidget(counter, 3 + i, 2);
    }
    statusGrid->setColumnStretch(1, 1);

    QGroupBox* timing = Frame(QStringLiteral("fraPacketTiming"), QStringLiteral(" Packet Timing"));
    auto* timingLayout = new QFormLayout(timing);
    const QString timingTip =
        QStringLiteral("Select the interval between packets of data sent to the Actimar");
    QComboBox* timeout = List(QStringLiteral("cboTimeout"), TimeoutSelectorTexts());
    QComboBox* interval = List(QStringLiteral("cboPacketInterval"), IntervalSelectorTexts());
    controls_.cboTimeout = timeout;
    controls_.cboPacketInterval = interval;
    for (QComboBox* list : {timeout, interval}) {
        list->setToolTip(timingTip);
        list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }
    timingLayout->addRow(QStringLiteral("Timeout (msec)"), timeout);
    timingLayout->addRow(QStringLiteral("Packet Delay"), interval);

    QGroupBox* traffic = Frame(QStringLiteral("fraPacketData"), QStringLiteral(" Packet Data"));
    auto* trafficLayout = new QFormLayout(traffic);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    struct TrafficField {
        const char* name;
        const char* caption;
        QLineEdit* Controls::*field;
    };
    static constexpr std::array<TrafficField, 4> TrafficFields{{
        {"txtTxData", "Tx", &Controls::txtTxData},
        {"txtRxData", "Rx", &Controls::txtRxData},
        {"txtPacketTime", "Packet", &Controls::txtPacketTime},
        {"txtIntervalTime", "Interval", &Controls::txtIntervalTime},
    }};
    for (const TrafficField& entry : TrafficFields) {
        QLineEdit* field = Field(QLatin1String(entry.name), true);
        field->setFont(fixed);
        controls_.*entry.field = field;
        trafficLayout->addRow(QLatin1String(entry.caption), field);
    }

    QGroupBox* packet =
        Frame(QStringLiteral("fraPacketInfo"), QStringLiteral(" Packet Information"));
    auto* packetLayout = new QFormLayout(packet);
    struct PacketValue {
        const char* caption;
        const char* name;
        QLabel* Controls::*label;
    };
    static constexpr std::array<PacketValue, 3> PacketValues{{
        {"Delay:", "lblPacketDelay", &Controls::lblPacketDelay},
        {"Packet Time:", "lblPacketTime", &Controls::lblPacketTime},
        {"T/O:", "lblPacketTimeout", &Controls::lblPacketTimeout},
    }};
    for (const PacketValue& entry : PacketValues) {
        QLabel* value = Label(QStringLiteral("0"), QLatin1String(entry.name));
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("000.0")));
        controls_.*entry.label = value;
        packetLayout->addRow(Label(QLatin1String(entry.caption)), value);
    }

    // Compact enough for the window's default size: the line's state and
    // timing (Timeout first) in a narrow column on the left, the port choice
    // on the right with the line's own settings and figures under it, one
    // page each.
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(status, 0, 0);
    layout->addWidget(timing, 1, 0);
    layout->addWidget(traffic, 2, 0);
    layout->addWidget(select, 0, 1);
    auto* below = new QGridLayout;
    below->addWidget(portStatus, 0, 0);
    below->addWidget(packet, 1, 0);
    auto* line = new QTabWidget;
    line->setObjectName(QStringLiteral("tabLine"));
    // Its tab bar takes the focus; the pages are reached through it.
    line->setFocusPolicy(Qt::NoFocus);
    line->addTab(BuildLineFrame(), QStringLiteral("Line"));
    controls_.txtPortInfo = Report(QStringLiteral("txtPortInfo"), 6);
    line->addTab(controls_.txtPortInfo, QStringLiteral("Port"));
    controls_.txtLinkStatistics = Report(QStringLiteral("txtLinkStatistics"), 12);
    line->addTab(controls_.txtLinkStatistics, QStringLiteral("Statistics"));
    below->addWidget(line, 0, 1, 2, 1);
    layout->addLayout(below, 1, 1, 3, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget* AsciiSensor::BuildLineFrame() {
    auto* line = new QWidget;
    line->setObjectName(QStringLiteral("fraLine"));
    auto* form = new QFormLayout(line);
    const auto spin = [](const QString& name, int maximum) {
        auto* box = new QSpinBox;
        box->setObjectName(name);
        box->setRange(0, maximum);
        return box;
    };
    QSpinBox* retries = spin(QStringLiteral("spnRetries"), cSensorLink::MaxRetries);
    retries->setToolTip(QStringLiteral("How often a request without a good answer is asked again"));
    controls_.spnRetries = retries;
    form->addRow(QStringLiteral("Retries"), retries);
    QStringList modes;
    for (const LineDriverModeName& entry : LineDriverModes) {
        modes << QLatin1String(entry.caption);
    }
    QComboBox* mode = List(QStringLiteral("cboRs485"), modes);
    // The captions are long; the list opens wide enough for them.
    mode->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    mode->setMinimumContentsLength(10);
    mode->setToolTip(QStringLiteral("How the RS-485 transmitter is switched; it counts from the "
                                    "next Apply and Test Settings"));
    controls_.cboRs485 = mode;
    form->addRow(QStringLiteral("RS-485"), mode);
    controls_.cboRs485Rts =
        List(QStringLiteral("cboRs485Rts"), {QStringLiteral("High"), QStringLiteral("Low")});
    form->addRow(QStringLiteral("RTS While Sending"), controls_.cboRs485Rts);
    controls_.spnRs485Before = spin(QStringLiteral("spnRs485Before"), cLineDriver::MaxDelayMs);
    form->addRow(QStringLiteral("Before (msec)"), controls_.spnRs485Before);
    controls_.spnRs485After = spin(QStringLiteral("spnRs485After"), cLineDriver::MaxDelayMs);
    form->addRow(QStringLiteral("After (msec)"), controls_.spnRs485After);
    return line;
}

QWidget* AsciiSensor::BuildLogTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* log = new QPlainTextEdit;
    log->setObjectName(QStringLiteral("rtbLog"));
    log->setReadOnly(true);
    // The report columns line up only in a fixed-pitch font, unwrapped.
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    controls_.rtbLog = log;
    layout->addWidget(log, 1);
    auto* buttons = new QHBoxLayout;
    struct LogButton {
        const char* name;
        const char* caption;
        QPushButton* Controls::*button;
    };
    static constexpr std::array<LogButton, 5> Buttons{{
        {"cmdUpdateLog", "Update", &Controls::cmdUpdateLog},
        {"cmdCopyLog", "Copy to Clipboard", &Controls::cmdCopyLog},
        {"cmdSaveLog", "Save", &Controls::cmdSaveLog},
        {"cmdClearLog", "Clear", &Controls::cmdClearLog},
        {"cmdPrintLog", "Print", &Controls::cmdPrintLog},
    }};
    for (const LogButton& entry : Buttons) {
        controls_.*entry.button = Button(QLatin1String(entry.name), QLatin1String(entry.caption));
        buttons->addWidget(controls_.*entry.button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    return page;
}

QWidget* AsciiSensor::BuildCalibrationTab() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);

    QGroupBox* zero = Frame(QStringLiteral("fraZeroAdjust"), QStringLiteral(" Zero Adjust"));
    auto* zeroLayout = new QHBoxLayout(zero);
    controls_.txtAdjustValue = Field(QStringLiteral("txtAdjustValue"));
    zeroLayout->addWidget(controls_.txtAdjustValue);
    controls_.UpDownAdjust = new cUpDown(QStringLiteral("UpDownAdjust"));
    zeroLayout->addWidget(controls_.UpDownAdjust);
    controls_.cmdAutoAdjust =
        Button(QStringLiteral("cmdAutoAdjust"), QStringLiteral("Auto Zero Adjust"));
    zeroLayout->addWidget(controls_.cmdAutoAdjust);

    QGroupBox* loopTime = OptionFrame(OptionGroup::LoopTime);
    SetTextColour(loopTime, Colour::Blue);

    QStringList testCaptions;
    for (const char* caption : SetpointTestCaptions) {
        testCaptions.append(QLatin1String(caption));
    }
    QGroupBox* test =
        OptionFrame(QStringLiteral("fraSetpointTest"), QStringLiteral(" Select Setpoint Test"),
                    controls_.optCalSetpoints, QStringLiteral("optCalSetpoints"), testCaptions, 1);
    auto* testGrid = static_cast<QGridLayout*>(test->layout());
    controls_.cmdSetpointTest =
        Button(QStringLiteral("cmdSetpointTest"), QLatin1String(SetpointTestButtonCaption));
    testGrid->addWidget(controls_.cmdSetpointTest, testGrid->rowCount(), 0, Qt::AlignLeft);

    QGroupBox* drive =
        Frame(QStringLiteral("fraDriveOutput"), QStringLiteral(" Drive Output Calibration"));
    auto* driveLayout = new QVBoxLayout(drive);
    QGroupBox* null = Frame(QStringLiteral("fraNullZero"), QStringLiteral(" Null Zero Adjustment"));
    auto* nullGrid = new QGridLayout(null);
    controls_.cmdMidPoint =
        Button(QStringLiteral("cmdMidPoint"), QStringLiteral("Set Target to Sensor Midpoint"));
    nullGrid->addWidget(controls_.cmdMidPoint, 0, 0, 1, 3);
    controls_.cmdCalibrateSetTarget =
        Button(QStringLiteral("cmdCalibrateSetTarget"), QStringLiteral("Set Target to Position"));
    nullGrid->addWidget(controls_.cmdCalibrateSetTarget, 1, 0, 1, 3);
    nullGrid->addWidget(Label(QStringLiteral("Null Zero")), 2, 0);
    controls_.txtNullZero = Field(QStringLiteral("txtNullZero"));
    nullGrid->addWidget(controls_.txtNullZero, 2, 1);
    controls_.UpDownNullZero = new cUpDown(QStringLiteral("UpDownNullZero"));
    nullGrid->addWidget(controls_.UpDownNullZero, 2, 2);
    Readouts& readouts = controls_.readouts[static_cast<std::size_t>(ReadoutPanel::Calibration)];
    QLabel*& position = readouts[static_cast<std::size_t>(Readout::Position)];
    QLabel*& target = readouts[static_cast<std::size_t>(Readout::Target)];
    position = ReadoutBox(QStringLiteral("lblCalibratePosition"), QStringLiteral("0.000"));
    target = ReadoutBox(QStringLiteral("lblCalibrateTarget"), QStringLiteral("0.000"));
    nullGrid->addWidget(Label(QStringLiteral("Position")), 3, 0);
    nullGrid->addWidget(position, 3, 1, 1, 2);
    nullGrid->addWidget(Label(QStringLiteral("Target")), 4, 0);
    nullGrid->addWidget(target, 4, 1, 1, 2);
    driveLayout->addWidget(null);

    QLabel* instructions = Label(QString(), QStringLiteral("lblCalibrate"));
    instructions->setWordWrap(true);
    instructions->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    instructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    instructions->setMinimumHeight(instructions->fontMetrics().height() * 5);
    controls_.lblCalibrate = instructions;

    layout->addWidget(zero, 0, 0);
    layout->addWidget(loopTime, 1, 0);
    layout->addWidget(test, 2, 0);
    layout->addWidget(drive, 0, 1, 3, 1);
    layout->addWidget(instructions, 3, 0, 1, 2);
    layout->setRowStretch(4, 1);
    return page;
}

int AsciiSensor::VisibleTab() const {
    return controls_.SSTab1->currentIndex();
}

void AsciiSensor::SelectTab(int index) {
    controls_.SSTab1->setCurrentIndex(index);
}

void AsciiSensor::SetTabEnabled(int index, bool enabled) {
    controls_.SSTab1->setTabEnabled(index, enabled);
}

void AsciiSensor::SetTabVisible(int index, bool visible) {
    controls_.SSTab1->setTabVisible(index, visible);
}

QString AsciiSensor::AskFileName(bool save, const QString& title, const QString& folder,
                                 const QString& proposedName, const QString& filter) {
    if (save) {
        QFileDialog dialog(this, title, folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(FilterSuffix(filter));
        dialog.selectFile(proposedName);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    }
    return QFileDialog::getOpenFileName(this, title, folder, filter);
}

QString AsciiSensor::AskFolder(const QString& title, const QString& folder) {
    if (quiet_) {
        return {};
    }
    if (prompter_ != nullptr) {
        return prompter_->AskFolder(title, folder);
    }
    return QFileDialog::getExistingDirectory(this, title, folder);
}

bool AsciiSensor::ShowInformation(const QString& text, const QString& caution) {
    InfoDialog dialog(text, caution, this);
    dialog.exec();
    return dialog.DoNotShowAgain();
}

MessageAnswer AsciiSensor::Ask(const QString& title, const QString& text, MessageIcon icon,
                               MessageButtons buttons) {
    if (quiet_) {
        return NegativeAnswer(buttons);
    }
    if (prompter_ != nullptr) {
        return prompter_->Ask(title, text, icon, buttons);
    }
    QMessageBox::Icon boxIcon = QMessageBox::Warning;
    if (icon == MessageIcon::None) {
        boxIcon = QMessageBox::NoIcon;
    } else if (icon == MessageIcon::Information) {
        boxIcon = QMessageBox::Information;
    } else if (icon == MessageIcon::Critical) {
        boxIcon = QMessageBox::Critical;
    }
    QMessageBox::StandardButtons boxButtons = QMessageBox::Ok;
    if (buttons == MessageButtons::OkCancel) {
        boxButtons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MessageButtons::YesNo) {
        boxButtons = QMessageBox::Yes | QMessageBox::No;
    } else if (buttons == MessageButtons::ApplyDiscardCancel) {
        boxButtons = QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel;
    }
    // A long list (what Apply will write) would not fit the screen: the box
    // shows its start, and all of it scrolls under "Show Details...".
    constexpr qsizetype ShownLines = 20;
    const QString plain = FromCrLf(text);
    QStringList lines = plain.split(u'\n');
    const bool longText = lines.size() > ShownLines + 5;
    if (longText) {
        const qsizetype more = lines.size() - ShownLines;
        lines = lines.first(ShownLines);
        lines.append(QStringLiteral("... and %1 more lines (Show Details...)").arg(more));
    }
    QMessageBox box(boxIcon, title, lines.join(u'\n'), boxButtons, this);
    if (longText) {
        box.setDetailedText(plain);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Apply:
        return MessageAnswer::Apply;
    case QMessageBox::Discard:
        return MessageAnswer::Discard;
    default:
        break;
    }
    return NegativeAnswer(buttons);
}

void AsciiSensor::SetKeyHandler(QWidget* widget, KeyHandler handler) {
    keyHandlers_.insert(widget, std::move(handler));
    widget->installEventFilter(this);
}

void AsciiSensor::FocusNext() {
    focusNextChild();
}

void AsciiSensor::SetLengthUnits(const QString& units) {
    for (int index = 0; index < static_cast<int>(FieldCaptions.size()); ++index) {
        controls_.lblData[static_cast<std::size_t>(index)]->setText(FieldCaption(index, units));
    }
    for (const Readouts& captions : controls_.readoutCaptions) {
        for (std::size_t i = 0; i < ReadoutEntries.size(); ++i) {
            captions[i]->setText(CaptionInUnits(QLatin1String(ReadoutEntries[i].caption), units));
        }
    }
    for (const OptionGroupDef& def : OptionGroups()) {
        // A check box's caption names no units.
        if (QButtonGroup* options = controls_.Options(def.group)) {
            for (int i = 0; i < static_cast<int>(def.captions.size()); ++i) {
                options->button(i)->setText(
                    CaptionInUnits(def.captions[static_cast<std::size_t>(i)], units));
            }
        }
    }
}

QLabel* AsciiSensor::ReadoutLabel(ReadoutPanel panel, Readout readout) const {
    return controls_.readouts[static_cast<std::size_t>(panel)][static_cast<std::size_t>(readout)];
}

void AsciiSensor::WatchFocus() {
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (widget->focusPolicy() != Qt::NoFocus) {
            widget->installEventFilter(this);
        }
    }
}

bool AsciiSensor::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto handler = keyHandlers_.constFind(watched);
        if (handler != keyHandlers_.cend()) {
            return (*handler)(static_cast<QKeyEvent*>(event));
        }
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        // Switching to another program or opening a popup is no move of the
        // focus between the window's controls.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
            break;
        }
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::FocusIn) {
            auto* field = qobject_cast<QLineEdit*>(widget);
            if (field != nullptr && keyHandlers_.contains(field)) {
                // After the focus comes a click's own caret placement, which
                // would undo a selection made now.
                QTimer::singleShot(0, field, &QLineEdit::selectAll);
            }
            emit focusEntered(widget, reason);
        } else {
            emit focusLeft(widget);
        }
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void AsciiSensor::closeEvent(QCloseEvent* event) {
    // A field being typed in commits first, so that its value counts as an edit.
    QWidget* focused = focusWidget();
    if (focused != nullptr) {
        focused->clearFocus();
    }
    if (!quiet_ && closeCheck_ && !closeCheck_()) {
        event->ignore();
        if (focused != nullptr) {
            focused->setFocus();
        }
        return;
    }
    emit closing();
    event->accept();
}

} // namespace kelvar
