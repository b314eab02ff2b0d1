#include "ui/Application.h"

#include "files/PagePainter.h"
#include "operations/FactoryReset.h"
#include "operations/Report.h"

#include "files/DataFile.h"
#include "link/Framing.h"
#include "link/PortInfo.h"
#include "link/QtSerialPort.h"
#include "model/Parameters.h"
#include "model/Speeds.h"
#include "model/Text.h"
#include "operations/Calibration.h"
#include "operations/Cautions.h"
#include "operations/Editing.h"
#include "operations/Pictograph.h"
#include "operations/Selection.h"
#include "operations/StatusDisplay.h"
#include "shell/Registry.h"
#include "sim/SimSerialPort.h"
#include "ui/AsciiAbout.h"
#include "ui/AsciiSensor.h"
#include "ui/AsciiSplash.h"
#include "ui/Look.h"
#include "ui/MachineWork.h"
#include "ui/StripChart.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>
#include <array>

namespace kelvar {

namespace {

constexpr char SimulatedDevice[] = "simulated sensor network";

std::unique_ptr<sim::SimNetwork> BuiltInNetwork() {
    auto network = std::make_unique<sim::SimNetwork>();
    for (const auto& [address, baud] : {std::pair{1, 115200}, {3, 115200}, {5, 57600}}) {
        sim::SensorConfig config;
        config.address = address;
        config.baud = baud;
        config.serialNumber = QByteArray::number(10000000 + address);
        config.startCounts = config.lengthCounts / (address + 1);
        network->addSensor(config);
    }
    return network;
}

QRgb CellRgb(CellColour colour) {
    switch (colour) {
    case CellColour::Red:
        return Colour::Red;
    case CellColour::DarkBlue:
        return Colour::DarkBlue;
    case CellColour::Black:
        break;
    }
    return Colour::Black;
}
using Controls = AsciiSensor::Controls;

// The calibration fields and their up-down controls.
struct CalibrationControl {
    CalibrationField field;
    QLineEdit* Controls::*entry;
    cUpDown* Controls::*upDown;
};
constexpr std::array<CalibrationControl, 2> CalibrationControls{{
    {CalibrationField::ZeroAdjust, &Controls::txtAdjustValue, &Controls::UpDownAdjust},
    {CalibrationField::NullZero, &Controls::txtNullZero, &Controls::UpDownNullZero},
}};

// Shows the text in a label, field or frame.
void Draw(QLabel* label, const QString& text) {
    label->setText(text);
}
void Draw(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}
void Draw(QGroupBox* frame, const QString& text) {
    frame->setTitle(text);
}

// The desktop's browser, found as Qt finds it.
class cDesktopBrowser : public cBrowser {
public:
    bool Found() override { return !FirstProgram(WebPageOpeners, FindOnPath).isEmpty(); }
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

} // namespace

cApplication::cApplication(const cAppOptions& options, cRegistry& registry, QObject* parent)
    : QObject(parent), options_(options), registry_(registry) {
    if (options_.simulate) {
        network_ = BuiltInNetwork();
        port_ = std::make_unique<sim::SimSerialPort>(
            *network_, QStringList{QString::fromLatin1(SimulatedDevice)});
    } else {
        port_ = std::make_unique<cQtSerialPort>();
    }
    window_ = std::make_unique<AsciiSensor>();
    session_ = std::make_unique<cSession>(*port_, *window_);
    if (options_.simulate) {
        session_->link.PortNames.setDevice(1, QString::fromLatin1(SimulatedDevice));
    }
    for (const QString& mapping : options_.portMappings) {
        session_->link.PortNames.addMapping(mapping);
    }
    Bind();
    BindLine();
    BindSelection();
    BindEditing();
    BindSetpoints();
    BindCalibration();
    BindLog();
    BindHelp();
    BindGraph();
}

cApplication::~cApplication() {
    // A field that loses the focus as the window goes would commit into a
    // session that is gone: the window is hidden first.
    window_->hide();
    // The session talks to the window while it goes: it goes first, after
    // what watches it.
    cautions_.reset();
    selection_.reset();
    statusDisplay_.reset();
    window_->C().TimeBase->SetGraph(nullptr);
    session_.reset();
}

void cApplication::ShowStatusBar() {
    const cStatusBar& bar = session_->statusBar;
    if (splash_ != nullptr) {
        // While the window is not up, progress shows on the splash window.
        splash_->SetStatus(bar.Panel(1));
        splash_->SetProgressRange(bar.ProgressMinimum(), bar.ProgressMaximum());
        splash_->SetProgress(bar.ProgressValue());
        splash_->SetProgressShown(bar.ProgressVisible());
        return;
    }
    const Controls& c = window_->C();
    for (int panel = 1; panel <= 4; ++panel) {
        Draw(c.StatusBar1_Panel[static_cast<std::size_t>(panel - 1)], bar.Panel(panel));
    }
    QProgressBar* progress = c.ProgressBar1;
    progress->setRange(bar.ProgressMinimum(), bar.ProgressMaximum());
    progress->setValue(bar.ProgressValue());
    window_->SetProgressShown(bar.ProgressVisible());
}

void cApplication::ShowCommStatus(unsigned changedLines) {
    const cCommStatus& status = session_->CommStatus();
    const Controls& c = window_->C();
    for (int i = 0; i < cCommStatus::LineCount; ++i) {
        if ((changedLines & (1U << i)) != 0) {
            const auto& line = status.line(i);
            const cIndicator& shown = c.commLights[static_cast<std::size_t>(i)];
            SetLight(shown.light, line.green);
            shown.caption->setText(line.caption);
        }
    }
    for (int i = 0; i < 3; ++i) {
        c.lblErrorText[static_cast<std::size_t>(i)]->setText(status.errorText(i));
    }
    Draw(c.lblPortStatus, status.portStatus());
}

void cApplication::ShowLinkDisplay() {
    const LinkDisplay& d = session_->LinkTexts();
    const Controls& c = window_->C();
    Draw(c.txtTxData, d.txData);
    Draw(c.txtRxData, d.rxData);
    Draw(c.txtPacketTime, d.packetTime);
    Draw(c.txtIntervalTime, d.intervalTime);
    Draw(c.lblPacketDelay, d.infoDelay);
    Draw(c.lblPacketTime, d.infoPacketTime);
    Draw(c.lblPacketTimeout, d.infoTimeout);
}

void cApplication::ShowPortOptions() {
    const Controls& c = window_->C();
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        QAbstractButton* option = c.optPort->button(i);
        const OptionState& state = session_->PortOptions[i];
        const QSignalBlocker quiet(option);
        option->setChecked(state.selected);
        option->setEnabled(state.enabled);
        SetBold(option, state.bold);
        SetTextColour(option, state.green ? Colour::DarkGreen : Colour::Black);
    }
    for (int i = 0; i < SpeedOptionGroup::Size; ++i) {
        QAbstractButton* option = c.optBaud->button(i);
        const QSignalBlocker quiet(option);
        option->setChecked(session_->SpeedOptions[i].selected);
        SetBold(option, session_->SpeedOptions[i].bold);
    }
}

void cApplication::ShowSelector() {
    const SensorSelectorState& state = selection_->Selector();
    const Controls& c = window_->C();
    QComboBox* selector = c.cboSensorSelect;
    const QSignalBlocker quiet(selector);
    selector->clear();
    selector->addItems(state.entries);
    selector->setCurrentIndex(state.selected);
    selector->setEnabled(state.enabled);
    Draw(c.fraSensorSelect, state.frameCaption);
    Draw(c.lblSensor, state.sensorLabel);
}

void cApplication::ShowStatusPanel(unsigned changedLights) {
    const Controls& c = window_->C();
    Draw(c.lblStatusByte, statusDisplay_->StatusByteText());
    Draw(c.lblControlByte, statusDisplay_->ControlByteText());
    for (int bit = 0; bit < cStatusDisplay::LightCount; ++bit) {
        if ((changedLights & (1U << bit)) != 0) {
            const cIndicator& shown = c.statusLights[static_cast<std::size_t>(bit)];
            SetLight(shown.light, QRgb(statusDisplay_->LightColour(bit)));
            shown.caption->setText(statusDisplay_->Light(bit).caption);
        }
    }
}

void cApplication::ShowStatusStrip(unsigned changedFields) {
    for (int field = 0; field < cStatusDisplay::FieldCount; ++field) {
        if ((changedFields & (1U << field)) != 0) {
            QLabel* label = window_->C().lblStatusStrip[static_cast<std::size_t>(field)];
            label->setText(statusDisplay_->FieldText(field));
            SetLight(label, QRgb(statusDisplay_->FieldColour(field)));
        }
    }
}

void cApplication::BindSelection() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    statusDisplay_ = std::make_unique<cStatusDisplay>(s);
    selection_ = std::make_unique<cSensorSelection>(
        s, [this] { SaveLoadSettings(*session_, registry_, state_, true); });
    connect(statusDisplay_.get(), &cStatusDisplay::panelChanged, this,
            &cApplication::ShowStatusPanel);
    connect(statusDisplay_.get(), &cStatusDisplay::stripChanged, this,
            &cApplication::ShowStatusStrip);
    connect(&s.read, &cReadFlow::loadStarted, statusDisplay_.get(), &cStatusDisplay::BeginLoading);
    connect(&s.read, &cReadFlow::loadFinished, statusDisplay_.get(), &cStatusDisplay::EndLoading);
    connect(selection_.get(), &cSensorSelection::selectorChanged, this,
            &cApplication::ShowSelector);

    connect(c.cboSensorSelect, &QComboBox::activated, this, [this, &s](int index) {
        s.RunUserFlow([this, index] { selection_->SelectSensor(index); });
    });
    QComboBox* addresses = c.SensorAddressSelect;
    connect(addresses, &QComboBox::activated, this, [this, &s](int index) {
        s.RunUserFlow([this, index] { selection_->SelectAddress(index); });
    });
    connect(selection_.get(), &cSensorSelection::addressSelected, addresses, [addresses](int i) {
        const QSignalBlocker quiet(addresses);
        addresses->setCurrentIndex(i);
    });

    cautions_ = std::make_unique<cCautions>(state_.Information);
    QLineEdit* name = c.txtSensorName;
    QLineEdit* zeroAdjust = c.txtData[ZeroAdjustField];
    connect(&w, &AsciiSensor::focusEntered, this,
            [this, name, zeroAdjust](QWidget* control, Qt::FocusReason reason) {
                // A caution answers the user's own move into the field, never
                // a tab shown or the program moving the focus, and never while
                // a flow runs: its dialog would hold the flow until answered.
                const bool byUser =
                    !session_->FlowRunning() &&
                    (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                     reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason);
                if (control == name) {
                    if (byUser) {
                        cautions_->ShowCaution(SensorNameCaution, *window_);
                    }
                    selection_->BeginNameEdit();
                } else if (control == zeroAdjust && byUser) {
                    cautions_->ShowCaution(ZeroAdjustCaution, *window_);
                }
            });
    connect(c.mnuShowAll, &QAction::triggered, this, [this] { cautions_->RestoreAll(); });
    connect(&w, &AsciiSensor::focusLeft, this, [this, name](QWidget* control) {
        if (control == name) {
            selection_->EndNameEdit(name->text());
        }
    });
    w.SetKeyHandler(name, [this, name](QKeyEvent* event) {
        if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter &&
            event->key() != Qt::Key_Tab) {
            return false;
        }
        selection_->StoreSensorName(name->text());
        window_->C().SSTab1->setFocus();
        return true;
    });
    connect(selection_.get(), &cSensorSelection::nameHintChanged, this,
            [this] { Draw(window_->C().lblSensorNameHint, selection_->NameHintShown()); });
}

void cApplication::BindGraph() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    cStripChart* chart = c.TimeBase;
    chart->SetGraph(&s.graph.Chart());
    s.graph.SetAreaWidth(chart->LogicalWidth());
    connect(chart, &cStripChart::widthChanged, &s.graph, &cGraphFlow::SetAreaWidth);
    connect(&s.graph, &cGraphFlow::graphDrawn, chart, [&c, chart](const GraphPlot& plot) {
        chart->Draw(plot);
        if (plot.clear) {
            Draw(c.lblGraph_5, plot.minimumLabel);
            Draw(c.lblGraph_6, plot.maximumLabel);
        }
        if (!plot.sampleRate.isEmpty()) {
            Draw(c.txtSampleRate, plot.sampleRate);
        }
    });

    QPushButton* start = c.cmdStartGraph;
    QPushButton* pause = c.cmdPauseGraph;
    QComboBox* scale = c.cboScale;
    QPushButton* reload = c.cmdReload;
    connect(start, &QAbstractButton::clicked, &s.graph, &cGraphFlow::StartStop);
    connect(pause, &QAbstractButton::clicked, &s.graph, &cGraphFlow::Pause);
    s.graph.SetScaleEntry(scale->currentIndex());
    connect(scale, &QComboBox::currentIndexChanged, &s.graph, &cGraphFlow::SetScaleEntry);
    // Reset sends: enabled only while the sensor answers.
    const auto showState = [&s, start, pause, scale, reload] {
        start->setText(s.graph.StartCaption());
        start->setEnabled(!s.FlowRunning());
        pause->setText(s.graph.PauseCaption());
        pause->setEnabled(s.graph.Running());
        scale->setEnabled(!s.graph.Running());
        reload->setEnabled(!s.graph.Running() && !s.FlowRunning() && s.SensorStateKnown());
    };
    connect(&s.graph, &cGraphFlow::graphStateChanged, this, showState);
    connect(&s, &cSession::flowRunningChanged, this, showState);
    connect(&s, &cSession::sensorStateKnownChanged, this, showState);
    showState();

    QButtonGroup* buttons = c.cmdGraphSelect;
    connect(buttons, &QButtonGroup::idClicked, &s, [buttons, &s](int chosen) {
        for (QAbstractButton* button : buttons->buttons()) {
            SetButtonHighlight(button, buttons->id(button) == chosen);
        }
        s.setpoints.RequestSetpoint(chosen);
    });

    connect(c.cmdSaveGraph, &QAbstractButton::clicked, &s, [&s, chart] {
        s.graph.Save([chart, &s](QIODevice& device) {
            return chart->Picture(s.graph.Chart().Axes(s.sensor)).save(&device, "PNG");
        });
    });
}

void cApplication::Bind() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    connect(&s.monitor, &cMonitorFlow::readoutShown, this,
            [&w](ReadoutPanel panel, Readout readout, const QString& text) {
                if (QLabel* label = w.ReadoutLabel(panel, readout)) {
                    label->setText(text);
                }
            });
    // A readout whose poll went unanswered is greyed, never its last value in black.
    connect(&s.monitor, &cMonitorFlow::readoutsStaleChanged, this, [&w, &s] {
        for (const Readout readout : AllReadouts) {
            for (const ReadoutPanel panel :
                 {ReadoutPanel::Monitor, ReadoutPanel::Graph, ReadoutPanel::Calibration}) {
                if (QLabel* label = w.ReadoutLabel(panel, readout)) {
                    label->setEnabled(!s.monitor.ReadoutStale(readout));
                }
            }
        }
    });
    connect(&s.read, &cReadFlow::identityChanged, this, [&c, &s] {
        const SensorIdentityView& id = s.read.Identity();
        for (const auto& [label, text] : {std::pair{c.lblResolution, &id.resolution},
                                          {c.lblInfoResolution, &id.resolution},
                                          {c.lblSerialNumber, &id.serialNumber},
                                          {c.lblModel, &id.model},
                                          {c.lblFirmwareVersion, &id.firmwareVersion},
                                          {c.lblFirmwareDate, &id.firmwareDate},
                                          {c.lblUnits, &id.units},
                                          {c.lblInfoNullZero, &id.nullZero}}) {
            Draw(label, *text);
        }
    });
    connect(&s.read, &cReadFlow::currentSensorChanged, this, [&c, &s] {
        const CurrentSensorView& current = s.read.CurrentSensor();
        Draw(c.lblEditInfo, FromCrLf(current.setpointHelp));
        Draw(c.fraProgramData, current.programDataTitle);
        Draw(c.lblSensor, current.addressText);
        Draw(c.txtSensorName, current.name);
    });
    connect(&s.statusBar, &cStatusBar::changed, this, &cApplication::ShowStatusBar);
    connect(&s, &cSession::commStatusChanged, this, &cApplication::ShowCommStatus);
    // A search ends without redrawing the panel, which would keep showing
    // the errors met while searching.
    connect(&s, &cSession::flowRunningChanged, this, [this](bool running) {
        if (!running) {
            session_->ShowCommStatus();
        }
    });
    connect(&s, &cSession::linkTextsChanged, this, &cApplication::ShowLinkDisplay);
    connect(&s.search, &cSearchFlow::portOptionsChanged, this, &cApplication::ShowPortOptions);
    connect(&s, &cSession::commStatusChanged, this, &cApplication::ShowPortOptions);
    connect(&s, &cSession::commLabelChanged, this, [this] {
        QLabel* label = window_->C().lblComm;
        label->setText(session_->CommLabel());
        SetTextColour(label, session_->CommLabelRed() ? Colour::Red : Colour::Black);
    });
    connect(&s.link, &cSensorLink::portLost, this,
            [this](const QString& reason) { session_->SetCommLabel(reason, true); });

    connect(&w, &AsciiSensor::tabChanged, &s, &cSession::TabShown);
    connect(&w, &AsciiSensor::closing, this, &cApplication::Shutdown);
    w.SetCloseCheck([this] { return MayClose(); });
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        connect(c.optPort->button(i), &QAbstractButton::clicked, &s,
                [&s, i] { s.ChoosePortOption(i); });
    }
    for (int i = 0; i < SpeedOptionGroup::Size; ++i) {
        connect(c.optBaud->button(i), &QAbstractButton::clicked, &s,
                [&s, i] { s.ChooseSpeedOption(i); });
    }
    // Each of these starts a flow; none may start inside another.
    const auto flow = [&s]<typename Owner>(Owner& owner, void (Owner::*member)()) {
        return [&s, &owner, member] {
            s.RunUserFlow([&owner, member] { (owner.*member)(); });
        };
    };
    connect(c.cmdCommApply, &QAbstractButton::clicked, &s, flow(s.search, &cSearchFlow::CommApply));
    connect(c.cmdAutoBaudSearch, &QAbstractButton::clicked, &s,
            flow(s.search, &cSearchFlow::FullScan));
    connect(c.cmdReload, &QAbstractButton::clicked, &s, flow(s.read, &cReadFlow::Reset));

    QPushButton* apply = c.cmdApply;
    apply->setEnabled(false);
    connect(apply, &QAbstractButton::clicked, &s, flow(s.apply, &cApplyFlow::Apply));
    connect(&s.apply, &cApplyFlow::applyEnabledChanged, apply, [apply, &s](bool enabled) {
        apply->setEnabled(enabled && !s.FlowRunning() && !s.graph.Running() &&
                          s.SensorStateKnown());
    });
    const auto showControls = [&c, &s] {
        const bool running = s.FlowRunning();
        // Whatever would start another flow, or send while this one runs.
        for (QWidget* control : std::initializer_list<QWidget*>{
                 c.cmdCommApply, c.cmdAutoBaudSearch, c.cmdDefaultSettings, c.cmdSaveSettings,
                 c.cboSensorSelect, c.SensorAddressSelect, c.cmdSetpointTest}) {
            control->setEnabled(!running);
        }
        // What sends to the sensor waits, besides, until it answers.
        const bool sending = !running && s.SensorStateKnown();
        for (QWidget* control : std::initializer_list<QWidget*>{
                 c.cmdAutoAdjust, c.cmdCalibrateSetTarget, c.cmdMidPoint}) {
            control->setEnabled(sending);
        }
        for (const QButtonGroup* buttons : {c.cmdSelect, c.cmdGraphSelect}) {
            for (QAbstractButton* button : buttons->buttons()) {
                button->setEnabled(sending);
            }
        }
        for (const CalibrationControl& controls : CalibrationControls) {
            (c.*controls.upDown)->setEnabled(sending);
        }
        for (QAction* action : {c.mnuSave, c.mnuLoad, c.mnuBackupAll, c.mnuCompareBackup,
                                c.mnuRestoreBackup, c.mnuDefault, c.mnuCalibrate}) {
            action->setEnabled(!running);
        }
        if (running) {
            c.cmdApply->setEnabled(false);
        } else {
            s.apply.RefreshApplyState();
        }
    };
    connect(&s, &cSession::flowRunningChanged, this, showControls);
    connect(&s, &cSession::sensorStateKnownChanged, this, showControls);
    showControls();
    const auto factoryReset = [this, &s] {
        s.RunUserFlow([this] {
            if (LoadDefaultValues(*session_) != FactoryReset::Declined) {
                ShowSettings(true);
            }
        });
    };
    connect(c.cmdDefaultSettings, &QAbstractButton::clicked, &s, factoryReset);
    connect(c.mnuDefault, &QAction::triggered, &s, factoryReset);

    const auto save = flow(s.dataFile, &cDataFileFlow::SaveSensorData);
    connect(c.cmdSaveSettings, &QAbstractButton::clicked, &s, save);
    connect(c.mnuSave, &QAction::triggered, &s, save);
    connect(c.mnuLoad, &QAction::triggered, &s, flow(s.dataFile, &cDataFileFlow::LoadSensorData));
    machine_ = std::make_unique<cMachineWork>(s, w);
    connect(c.mnuBackupAll, &QAction::triggered, &s, flow(*machine_, &cMachineWork::BackUpAll));
    connect(c.mnuCompareBackup, &QAction::triggered, &s,
            flow(*machine_, &cMachineWork::CompareWithBackup));
    connect(c.mnuRestoreBackup, &QAction::triggered, &s,
            flow(*machine_, &cMachineWork::RestoreFromBackup));
    connect(&s.dataFile, &cDataFileFlow::currentFileChanged, this,
            [this, caption = w.windowTitle()](const QString& bareName) {
                window_->setWindowTitle(WindowCaption(caption, bareName));
            });

    connect(c.cboTimeout, &QComboBox::currentIndexChanged, &s.link, &cSensorLink::SelectTimeout);
    connect(c.cboPacketInterval, &QComboBox::currentIndexChanged, &s.link,
            &cSensorLink::SelectInterval);

    connect(c.mnuExit, &QAction::triggered, &w, &QWidget::close);
    connect(c.mnuAutoSearch, &QAction::toggled, this, [this](bool on) { state_.AutoSearch = on; });
}

namespace {

// Where the last `count` lines of a text that ends with a line end start; 0
// when it has no more lines than that.
qsizetype StartOfLastLines(const QString& text, int count) {
    qsizetype at = text.size();
    for (int i = 0; i <= count; ++i) {
        if (at <= 0) {
            return 0;
        }
        at = text.lastIndexOf(u'\n', at - 1);
        if (at < 0) {
            return 0;
        }
    }
    return at + 1;
}

} // namespace

void cApplication::BindLine() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    connect(c.spnRetries, &QSpinBox::valueChanged, &s.link,
            [&s](int retries) { s.link.Retries = retries; });
    // The line driver counts from the next open of the port.
    const auto driverChanged = [this, &c] {
        cLineDriver driver;
        const int mode = c.cboRs485->currentIndex();
        driver.mode =
            LineDriverModes[std::clamp(mode, 0, int{std::size(LineDriverModes)} - 1)].mode;
        driver.rtsHighOnSend = c.cboRs485Rts->currentIndex() == 0;
        driver.delayBeforeMs = c.spnRs485Before->value();
        driver.delayAfterMs = c.spnRs485After->value();
        session_->link.Port().setLineDriver(driver);
    };
    for (QComboBox* list : {c.cboRs485, c.cboRs485Rts}) {
        connect(list, &QComboBox::currentIndexChanged, this, driverChanged);
    }
    for (QSpinBox* box : {c.spnRs485Before, c.spnRs485After}) {
        connect(box, &QSpinBox::valueChanged, this, driverChanged);
    }

    // Looking at a port opens it: done when someone can see the answer, and
    // not at each of the many opens of a search.
    connect(&s, &cSession::flowRunningChanged, this, [this](bool running) {
        if (!running && window_->VisibleTab() == Tab::Communications) {
            ShowPortInfo();
        }
    });
    connect(&s.link, &cSensorLink::portStateChanged, this, [this] {
        // A USB adapter that keeps its slow latency costs every request:
        // said once a device, not at every open.
        const QString notice = session_->link.Port().notice();
        const QString device = session_->link.Port().deviceName();
        if (!notice.isEmpty() && !noticesShown_.contains(device)) {
            noticesShown_.insert(device);
            QTimer::singleShot(0, this, [this, notice] {
                window_->Ask(QStringLiteral("Serial Port"), notice, MessageIcon::Information,
                             MessageButtons::Ok);
            });
        }
    });
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        connect(c.optPort->button(i), &QAbstractButton::clicked, this, &cApplication::ShowPortInfo);
    }

    // The figures change with every request: shown once a second, and only
    // while someone can see them.
    auto* statistics = new QTimer(this);
    statistics->setInterval(1000);
    connect(statistics, &QTimer::timeout, this, &cApplication::ShowLinkStatistics);
    connect(&w, &AsciiSensor::tabChanged, this, [this, statistics](int tab) {
        if (tab == Tab::Communications) {
            ShowLinkStatistics();
            ShowPortInfo();
            statistics->start();
        } else {
            statistics->stop();
        }
    });
}

void cApplication::ShowLineSettings() {
    const Controls& c = window_->C();
    const cLineDriver driver = session_->link.Port().lineDriver();
    QSpinBox* retries = c.spnRetries;
    QComboBox* mode = c.cboRs485;
    QComboBox* rts = c.cboRs485Rts;
    QSpinBox* before = c.spnRs485Before;
    QSpinBox* after = c.spnRs485After;
    const QSignalBlocker quiet[] = {QSignalBlocker(retries), QSignalBlocker(mode),
                                    QSignalBlocker(rts), QSignalBlocker(before),
                                    QSignalBlocker(after)};
    retries->setValue(session_->link.Retries);
    for (int i = 0; i < int{std::size(LineDriverModes)}; ++i) {
        if (LineDriverModes[i].mode == driver.mode) {
            mode->setCurrentIndex(i);
        }
    }
    rts->setCurrentIndex(driver.rtsHighOnSend ? 0 : 1);
    before->setValue(driver.delayBeforeMs);
    after->setValue(driver.delayAfterMs);
}

void cApplication::ShowPortInfo() {
    const cSensorLink& link = session_->link;
    QStringList lines;
    if (options_.simulate) {
        lines << QStringLiteral("Comm %1: simulated sensors, no serial port").arg(link.CurrentPort);
    } else {
        const PortReport report =
            InspectPort(link.CurrentPort, link.PortNames, session_->link.Port().lineDriver());
        lines = report.device.isEmpty()
                    ? QStringList{QStringLiteral("Comm %1: no serial port").arg(link.CurrentPort)}
                    : DescribePort(report);
    }
    window_->C().txtPortInfo->setPlainText(lines.join(u'\n'));
}

void cApplication::ShowLinkStatistics() {
    const int address = session_->link.CurrentAddress;
    QStringList lines;
    if (address >= MinAddress && address <= MaxAddress) {
        lines << QStringLiteral("Sensor %1").arg(address)
              << session_->link.Statistics(address).Lines();
    }
    QPlainTextEdit* view = window_->C().txtLinkStatistics;
    if (const QString text = lines.join(u'\n'); view->toPlainText() != text) {
        view->setPlainText(text);
    }
}

void cApplication::BindLog() {
    cLog& log = session_->log;
    const Controls& c = window_->C();
    QPlainTextEdit* view = c.rtbLog;
    // The view keeps the newest lines only; "Save" and "Copy" take all of it.
    view->setMaximumBlockCount(LogViewLines);
    connect(&log, &cLog::appended, view, [view](const QString& text) {
        QString plain = text;
        plain.remove(u'\r');
        // A batch longer than the view shows replaces all of it: its start
        // would be scrolled out at once.
        const qsizetype from = StartOfLastLines(plain, LogViewLines);
        QTextCursor end(view->document());
        if (from > 0) {
            view->clear();
            plain.remove(0, from);
        }
        end.movePosition(QTextCursor::End);
        end.insertText(plain);
    });
    connect(&log, &cLog::cleared, view, &QPlainTextEdit::clear);
    connect(&log, &cLog::optionsChanged, this, &cApplication::ShowLogOptions);
    connect(c.cmdUpdateLog, &QAbstractButton::clicked, &log, &cLog::LogSensorReport);
    connect(c.cmdClearLog, &QAbstractButton::clicked, &log, &cLog::Clear);
    connect(c.cmdSaveLog, &QAbstractButton::clicked, &log, &cLog::SaveAs);
    connect(c.cmdCopyLog, &QAbstractButton::clicked, &log,
            [&log] { QGuiApplication::clipboard()->setText(log.Text()); });
    // triggered, not toggled: the check marks are set from the options, and
    // only the user's clicks change them.
    connect(c.mnuLogEnabled, &QAction::triggered, &log, [&log](bool on) { log.SetEnabled(on); });
    connect(c.mnuCommunications, &QAction::triggered, &log,
            [&log](bool on) { log.SetCommunications(on); });
    for (const auto& [item, option] : {std::pair{c.mnuSensorList, &LogOptions::sensorList},
                                       {c.mnuSensorData, &LogOptions::sensorData},
                                       {c.mnuRuntime, &LogOptions::runtime}}) {
        // Copied by name: clang 14 cannot capture a structured binding.
        connect(item, &QAction::triggered, &log, [&log, member = option](bool on) {
            log.Options.*member = on;
            emit log.optionsChanged();
        });
    }
    connect(c.mnuSelectAll, &QAction::triggered, &log, &cLog::SelectAll);
    connect(c.cmdPrintLog, &QAbstractButton::clicked, this,
            [this] { PrintPages([this](cPrintSurface& pages) { PrintLog(*session_, pages); }); });
    const auto printSettings = [this] {
        if (session_->apply.ConfirmIncompleteRead(QStringLiteral("Print Sensor Data"),
                                                  QStringLiteral("Print these values"))) {
            PrintPages(
                [this](cPrintSurface& pages) { PrintConfigurationReport(*session_, pages); });
        }
    };
    connect(c.cmdPrintSettings, &QAbstractButton::clicked, this, printSettings);
    connect(c.mnuPrint, &QAction::triggered, this, printSettings);
}

void cApplication::PrintPages(const std::function<void(cPrintSurface&)>& print) {
    QPrinter printer;
    QPrintDialog dialog(&printer, window_.get());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    cPagePainter pages(printer);
    if (pages.Ready()) {
        print(pages);
    }
}

void cApplication::BindHelp() {
    AsciiSensor& w = *window_;
    browser_ = std::make_unique<cDesktopBrowser>();
    help_ = std::make_unique<cHelp>(
        w, *browser_,
        HelpPagePlaces(QCoreApplication::applicationDirPath(), QStringLiteral(KELVAR_SOURCE_HELP)));
    connect(w.C().mnuHelpContents, &QAction::triggered, this, [this] { help_->ShowContents(); });
    if (w.C().mnuHomePage != nullptr) {
        connect(w.C().mnuHomePage, &QAction::triggered, this, [this] { help_->ShowHomePage(); });
    }
    connect(w.C().mnuAbout, &QAction::triggered, this, [this] {
        // Modal over the window without an event loop of its own, which would
        // hold a flow that runs until the box is closed.
        auto* about = new AsciiAbout(*window_, window_.get());
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->open();
    });
}

void cApplication::ShowLogOptions() {
    const LogOptions& options = session_->log.Options;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    QAction* enabled = c.mnuLogEnabled;
    enabled->setChecked(options.enabled);
    enabled->setText(session_->log.EnabledCaption());
    for (const auto& [action, checked] : {std::pair{c.mnuSensorList, options.sensorList},
                                          {c.mnuSensorData, options.sensorData},
                                          {c.mnuRuntime, options.runtime},
                                          {c.mnuCommunications, options.communications}}) {
        action->setChecked(checked);
        action->setEnabled(options.enabled);
    }
    c.mnuSelectAll->setEnabled(options.enabled);
    w.SetTabEnabled(Tab::Log, options.enabled);
}

void cApplication::ShowSettings(bool force) {
    const SettingsView view = RefreshApplyState(*session_, force);
    const Controls& c = window_->C();
    for (const FieldShown& shown : view.fields) {
        QLineEdit* field = c.txtData[static_cast<std::size_t>(shown.field)];
        if (!field->hasFocus()) {
            field->setText(shown.text);
        }
    }
    for (const CaptionShown& shown : view.captions) {
        Draw(c.lblData[static_cast<std::size_t>(shown.field)], shown.caption);
    }
    for (const OptionShown& shown : view.options) {
        if (OptionControlOf(shown.group).frame == nullptr) {
            QCheckBox* box = c.CheckBox(shown.group);
            const QSignalBlocker quiet(box);
            box->setChecked(shown.index == 1);
            SetBold(box, shown.index == 1);
            box->setText(shown.title);
            continue;
        }
        Draw(window_->findChild<QGroupBox*>(QLatin1String(OptionControlOf(shown.group).frame)),
             shown.title);
        QButtonGroup* group = c.Options(shown.group);
        const QSignalBlocker quiet(group);
        SelectOption(group, shown.index);
        for (QAbstractButton* button : group->buttons()) {
            SetBold(button, group->id(button) == shown.index);
        }
    }
    const PictographView picture = Pictograph(session_->sensor);
    for (std::size_t i = 0; i < c.lblPicto.size(); ++i) {
        Draw(c.lblPicto[i], FromCrLf(picture.labels[i]));
    }
    for (std::size_t i = 0; i < c.lblPictoWindow.size(); ++i) {
        Draw(c.lblPictoWindow[i], FromCrLf(picture.windowLabels[i]));
    }
    c.cylinder->SetMirrored(picture.mirrored);
    if (view.addressIndex) {
        const QSignalBlocker quiet(c.SensorAddressSelect);
        c.SensorAddressSelect->setCurrentIndex(*view.addressIndex);
    }
    QTableWidget* grid = c.MSFlexGrid1;
    for (const SetpointGridRow& row : view.setpointRows) {
        for (int column = TargetCell; column <= DwellCell; ++column) {
            const SetpointCell& cell = row.cells.at(static_cast<std::size_t>(column - TargetCell));
            QTableWidgetItem* item = grid->item(row.setpoint, column);
            item->setText(cell.text);
            item->setForeground(QColor(CellRgb(cell.colour)));
        }
    }
    if (force) {
        grid->setCurrentCell(0, TargetCell);
    }
    for (int i = 0; i < SetpointGridRows; ++i) {
        const bool marked = view.markedSetpoints.at(static_cast<std::size_t>(i));
        for (QButtonGroup* buttons : {c.cmdSelect, c.cmdGraphSelect}) {
            SetUnderline(buttons->button(i), marked);
        }
    }
    for (const CalibrationControl& controls : CalibrationControls) {
        QLineEdit* field = c.*controls.entry;
        if (!field->hasFocus()) {
            field->setText(CalibrationFieldText(session_->sensor, controls.field));
        }
    }
    const AutoNullView autoNull = AutoNullControls(session_->sensor);
    c.txtData[static_cast<std::size_t>(FieldOfRegister(Param::AutoNullWindow))]->setEnabled(
        autoNull.windowEnabled);
    Draw(c.lblAutoNull, FromCrLf(autoNull.note));
}

void cApplication::BeginCellEdit() {
    if (setpointGridGuard_ || session_->FlowRunning()) {
        return;
    }
    QTableWidget* grid = window_->C().MSFlexGrid1;
    QLineEdit* box = window_->C().txtEditCell;
    // The setpoint numbers are no data.
    QTableWidgetItem* item = grid->currentItem();
    if (item == nullptr || item->column() < TargetCell || item->column() > DwellCell) {
        return;
    }
    editRow_ = item->row();
    editColumn_ = item->column();
    if (!cellEditOpen_) {
        box->setText(item->text());
    }
    cellEditOpen_ = true;
    box->setGeometry(grid->visualItemRect(item));
    SetTextColour(box, item->foreground().color().rgb());
    box->show();
    box->setFocus(Qt::OtherFocusReason);
}

void cApplication::CloseCellEdit() {
    if (!cellEditOpen_) {
        return;
    }
    cellEditOpen_ = false;
    QTableWidget* grid = window_->C().MSFlexGrid1;
    QLineEdit* box = window_->C().txtEditCell;
    const QString text = box->text();
    const bool hadFocus = box->hasFocus();
    // Before the box goes, or the focus would move on to the next control.
    if (hadFocus) {
        grid->setFocus(Qt::OtherFocusReason);
    }
    box->hide();
    // A read that runs replaces the whole table.
    if (!session_->FlowRunning()) {
        const CellEntry entry = CommitCellEdit(session_->sensor, editRow_, editColumn_, text);
        grid->item(editRow_, editColumn_)->setText(entry.text);
        if (!entry.refusal.isEmpty()) {
            window_->Ask(QStringLiteral("SetPoints"), entry.refusal, MessageIcon::Exclamation,
                         MessageButtons::Ok);
        }
    }
    ShowSettings(false);
}

void cApplication::BindSetpoints() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    QTableWidget* grid = c.MSFlexGrid1;
    QLineEdit* box = c.txtEditCell;

    connect(&s.read, &cReadFlow::loadStarted, this, [this] {
        CloseCellEdit();
        setpointGridGuard_ = true;
    });
    connect(&s.read, &cReadFlow::loadFinished, this, [this] { setpointGridGuard_ = false; });
    connect(grid, &QTableWidget::cellClicked, this, [this] { BeginCellEdit(); });
    w.SetKeyHandler(grid, [this](QKeyEvent* event) {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const QString text = event->text();
        if (!enter && (text.isEmpty() || !text.at(0).isPrint())) {
            return false; // arrows, Tab and the like move about the grid
        }
        // The key that opens the box is not typed into it.
        BeginCellEdit();
        return true;
    });
    connect(grid, &QTableWidget::currentCellChanged, this, [this] { CloseCellEdit(); });
    connect(grid->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { CloseCellEdit(); });
    connect(&w, &AsciiSensor::focusEntered, this, [this, grid, box](QWidget* control) {
        if (control == box) {
            SetEditing(box, true);
        } else if (control == grid) {
            CloseCellEdit();
        }
    });
    connect(&w, &AsciiSensor::focusLeft, this, [this, box](QWidget* control) {
        if (control == box) {
            SetEditing(box, false);
            CloseCellEdit();
        }
    });
    w.SetKeyHandler(box, [this, grid, box](QKeyEvent* event) {
        const int row = grid->currentRow();
        switch (event->key()) {
        case Qt::Key_Escape:
            // Back to what the cell showed: nothing is stored.
            box->setText(grid->item(editRow_, editColumn_)->text());
            grid->setFocus(Qt::OtherFocusReason);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            grid->item(editRow_, editColumn_)->setText(box->text());
            grid->setCurrentCell((editRow_ + 1) % SetpointGridRows, editColumn_);
            grid->setFocus(Qt::OtherFocusReason);
            return true;
        case Qt::Key_Down:
            grid->setFocus(Qt::OtherFocusReason);
            if (row < SetpointGridRows - 1) {
                grid->setCurrentCell(row + 1, grid->currentColumn());
            }
            return true;
        case Qt::Key_Up:
            grid->setFocus(Qt::OtherFocusReason);
            if (row > 0) {
                grid->setCurrentCell(row - 1, grid->currentColumn());
            }
            return true;
        default:
            break;
        }
        const QString text = event->text();
        if (text.isEmpty() || event->key() == Qt::Key_Delete) {
            return false; // the caret keys
        }
        const QChar key = event->key() == Qt::Key_Backspace ? BackspaceKey : text.at(0);
        return FilterKeys(FieldKeys::Decimal, key) != KeyAction::Accept;
    });

    QButtonGroup* buttons = c.cmdSelect;
    connect(buttons, &QButtonGroup::idClicked, this, [this, buttons](int index) {
        if (selectedSetpoint_ >= 0) {
            SetButtonHighlight(buttons->button(selectedSetpoint_), false);
        }
        SetButtonHighlight(buttons->button(index), true);
        selectedSetpoint_ = index;
        session_->setpoints.RequestSetpoint(index);
    });
    connect(&s.setpoints, &cSetpointFlow::setpointWindowChanged, this, [this, &c] {
        const SetpointWindowView& rows = session_->setpoints.SetpointWindowShown();
        for (std::size_t i = 0; i < 3; ++i) {
            const SetpointRowView& row = rows.at(i);
            Draw(c.lblSetpointNumber[i], QString::number(row.number));
            Draw(c.lblSetpointTarget[i], row.target);
            Draw(c.lblSetpointVelocity[i], row.velocity);
            Draw(c.lblSetpointDwell[i], row.dwell);
            SetTextColour(c.lblSetpointTarget[i],
                          row.targetOutOfLimits ? Colour::Red : Colour::Black);
        }
    });

    QCheckBox* viewOnly = c.chkView;
    viewOnly->setToolTip(ViewOnlyTip(viewOnly->isChecked()));
    connect(viewOnly, &QCheckBox::toggled, this, [this, viewOnly](bool ticked) {
        session_->setpoints.SetViewOnly(ticked);
        if (viewOnly->isVisible()) {
            QToolTip::showText(viewOnly->mapToGlobal(viewOnly->rect().center()),
                               ProperCase(ViewOnlyTip(ticked)), viewOnly);
        }
    });
    connect(&s.setpoints, &cSetpointFlow::viewOnlyChanged, viewOnly, [viewOnly](bool ticked) {
        const QSignalBlocker quiet(viewOnly);
        viewOnly->setChecked(ticked);
        viewOnly->setToolTip(ViewOnlyTip(ticked));
        SetBold(viewOnly, ticked);
    });

    QButtonGroup* tests = c.optCalSetpoints;
    connect(tests, &QButtonGroup::idClicked, this, [tests](int index) {
        for (QAbstractButton* option : tests->buttons()) {
            SetBold(option, tests->id(option) == index);
        }
    });
    QPushButton* load = c.cmdSetpointTest;
    connect(load, &QAbstractButton::clicked, this, [this, tests, &s] {
        const int option = tests->checkedId();
        for (QAbstractButton* button : tests->buttons()) {
            SetBold(button, false);
        }
        s.RunUserFlow([this, option, &s] {
            if (s.setpoints.LoadSetpointTest(option)) {
                ShowSettings(true);
            }
        });
    });
    // The calibration tab's help follows the focus through the frame.
    connect(&w, &AsciiSensor::focusEntered, this, [&c, tests, load](QWidget* control) {
        if (control == load || tests->buttons().contains(control)) {
            Draw(c.lblCalibrate,
                 FromCrLf(SetpointTestHelp(control == load ? SetpointTestFocus::Button
                                                           : SetpointTestFocus::Option)));
        }
    });
    connect(&w, &AsciiSensor::focusLeft, this, [&c, tests, load](QWidget* control) {
        if (control == load || tests->buttons().contains(control)) {
            Draw(c.lblCalibrate, QString());
        }
    });
}

void cApplication::ShowFieldHelp() {
    const FieldHelp help = SetFieldHelp(session_->sensor);
    const Controls& c = window_->C();
    for (const FieldTip& tip : help.fields) {
        c.txtData[static_cast<std::size_t>(tip.field)]->setToolTip(tip.tip);
    }
    for (const OptionTip& tip : help.options) {
        if (OptionControlOf(tip.group).frame == nullptr) {
            c.CheckBox(tip.group)->setToolTip(tip.tip);
        } else if (QAbstractButton* button = c.Options(tip.group)->button(tip.index)) {
            button->setToolTip(tip.tip);
        }
    }
    if (!help.address.isEmpty()) {
        c.SensorAddressSelect->setToolTip(help.address);
    }
}

void cApplication::HighlightPictograph(int reg) {
    PictoQuantity quantity{};
    if (!PictographQuantityOf(reg, &quantity)) {
        return;
    }
    const Controls& c = window_->C();
    QList<QLabel*> labels(c.lblPicto.begin(), c.lblPicto.end());
    labels.append(QList<QLabel*>(c.lblPictoWindow.begin(), c.lblPictoWindow.end()));
    for (QLabel* label : labels) {
        SetTextColour(label, Colour::Black);
        SetBold(label, false);
    }
    const bool mirrored = Pictograph(session_->sensor).mirrored;
    const int at = PictographLabel(quantity, mirrored);
    QList<QLabel*> chosen = at >= 0 ? QList<QLabel*>{labels[at]} : labels.mid(4);
    for (QLabel* label : chosen) {
        SetTextColour(label, Colour::DarkGreen);
        SetBold(label, true);
    }
}

void cApplication::BindEditing() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    for (int index = 0; index < NumberFieldCount; ++index) {
        QLineEdit* field = c.txtData[static_cast<std::size_t>(index)];
        w.SetKeyHandler(field, [this, index](QKeyEvent* event) {
            if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
                return false; // moves the focus on, which commits the value
            }
            const QString text = event->text();
            const QChar key = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
                                  ? EnterKey
                              : event->key() == Qt::Key_Backspace ? BackspaceKey
                              : text.isEmpty()                    ? QChar()
                                                                  : text.at(0);
            if (key.isNull()) {
                return false; // arrows and the like
            }
            switch (FilterKey(index, key)) {
            case KeyAction::Accept:
                return false;
            case KeyAction::MoveOn:
                window_->FocusNext();
                return true;
            case KeyAction::Swallow:
                break;
            }
            return true;
        });
        connect(field, &QLineEdit::editingFinished, this, [this, field, index] {
            const FieldEntry entry = CommitField(session_->sensor, index, field->text());
            field->setText(entry.text);
            SetTextColour(field, entry.clamped ? Colour::Red : Colour::Black);
            ShowSettings(false);
        });
        connect(&w, &AsciiSensor::focusEntered, field, [this, field, index](QWidget* control) {
            if (control == field) {
                SetEditing(field, true);
                HighlightPictograph(NumberFields()[static_cast<std::size_t>(index)].reg);
            }
        });
        connect(&w, &AsciiSensor::focusLeft, field, [field](QWidget* control) {
            if (control == field) {
                SetEditing(field, false);
            }
        });
    }
    for (const OptionControl& widgets : OptionControls) {
        const OptionGroup group = widgets.group;
        if (widgets.frame == nullptr) {
            connect(c.CheckBox(group), &QCheckBox::toggled, this, [this, group](bool ticked) {
                ChooseOption(session_->sensor, group, ticked ? 1 : 0);
                ShowSettings(false);
            });
        } else {
            connect(c.Options(group), &QButtonGroup::idClicked, this, [this, group](int index) {
                ChooseOption(session_->sensor, group, index);
                ShowSettings(false);
                if (group == OptionGroup::Run) {
                    // The strip names the chosen mode at once. Set here too:
                    // a mode chosen back to the sensor's is no pending
                    // change, which ShowSettings leaves out.
                    session_->read.SetRunModeOption(index);
                    statusDisplay_->UpdateStatusStrip();
                }
            });
        }
    }
    for (int index = 0; index < NumberFieldCount; ++index) {
        if (NumberFields()[static_cast<std::size_t>(index)].spinMax == 0) {
            continue;
        }
        cUpDown* spin = c.UpDown[static_cast<std::size_t>(index)];
        QLineEdit* field = c.txtData[static_cast<std::size_t>(index)];
        const auto step = [this, field, index](int by) {
            const std::int32_t shown = static_cast<std::int32_t>(field->text().toDouble());
            const FieldEntry entry =
                CommitField(session_->sensor, index, QString::number(SpinValue(index, shown, by)));
            field->setText(entry.text);
            SetTextColour(field, entry.clamped ? Colour::Red : Colour::Black);
            ShowSettings(false);
        };
        connect(spin, &cUpDown::up, this, [step] { step(1); });
        connect(spin, &cUpDown::down, this, [step] { step(-1); });
    }
    const auto showAll = [this] {
        ShowSettings(true);
        ShowFieldHelp();
        window_->SetLengthUnits(session_->sensor.Units().trimmed());
    };
    connect(&s.dataFile, &cDataFileFlow::settingsLoaded, this, showAll);
    connect(&s.read, &cReadFlow::loadFinished, this, showAll);
    connect(selection_.get(), &cSensorSelection::settingsEdited, this, showAll);
    connect(&w, &AsciiSensor::tabChanged, this, showAll);
}

void cApplication::BindCalibration() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    const Controls& c = w.C();
    QLabel* instructions = c.lblCalibrate;
    for (const CalibrationControl& controls : CalibrationControls) {
        const CalibrationField which = controls.field;
        QLineEdit* field = c.*controls.entry;
        w.SetKeyHandler(field, [this, which, field](QKeyEvent* event) {
            const bool tab = event->key() == Qt::Key_Tab;
            if (tab || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
                const QString text = field->text();
                session_->RunUserFlow([this, which, text] {
                    session_->calibration.EnterCalibrationValue(which, text);
                });
                // What the sensor holds now, written or not.
                field->setText(CalibrationFieldText(session_->sensor, which));
                field->selectAll();
                if (tab) {
                    window_->FocusNext();
                }
                return true;
            }
            const QString typed = event->text();
            const QChar key = event->key() == Qt::Key_Backspace ? BackspaceKey
                              : typed.isEmpty()                 ? QChar()
                                                                : typed.at(0);
            // Arrows and the like move the caret.
            return !key.isNull() && FilterCalibrationKey(which, key) == KeyAction::Swallow;
        });
        connect(&w, &AsciiSensor::focusEntered, field, [field, which, instructions](QWidget* c) {
            if (c == field) {
                SetEditing(field, true);
                instructions->setText(FromCrLf(CalibrationInstructions(which)));
            }
        });
        // A text typed but not entered was not written: the field shows the
        // sensor's value again.
        connect(&w, &AsciiSensor::focusLeft, field, [this, field, which, instructions](QWidget* c) {
            if (c == field) {
                SetEditing(field, false);
                instructions->clear();
                field->setText(CalibrationFieldText(session_->sensor, which));
            }
        });
        cUpDown* upDown = c.*controls.upDown;
        for (const int step : {1, -1}) {
            connect(upDown, step > 0 ? &cUpDown::up : &cUpDown::down, &s, [&s, which, step] {
                s.RunUserFlow(
                    [&s, which, step] { s.calibration.StepCalibrationValue(which, step); });
            });
        }
    }
    for (const auto& [button, member] :
         {std::pair{c.cmdAutoAdjust, &cCalibrationFlow::AutoZeroAdjust},
          {c.cmdCalibrateSetTarget, &cCalibrationFlow::SetTargetToPosition},
          {c.cmdMidPoint, &cCalibrationFlow::SetTargetToMidpoint}}) {
        // Copied by name: clang 14 cannot capture a structured binding.
        connect(button, &QAbstractButton::clicked, &s, [&s, action = member] {
            s.RunUserFlow([&s, action] { (s.calibration.*action)(); });
        });
    }
    connect(&s.calibration, &cCalibrationFlow::calibrationChanged, this,
            [this] { ShowSettings(true); });
    connect(&w, &AsciiSensor::tabChanged, this, [&c](int index) {
        if (index == Tab::Calibration) {
            c.txtAdjustValue->setFocus(Qt::OtherFocusReason);
        }
    });
    QAction* calibrate = c.mnuCalibrate;
    connect(calibrate, &QAction::triggered, this, [this, calibrate](bool on) {
        if (session_->RunUserFlow([this, on] { session_->calibration.SetCalibrationMode(on); })) {
            state_.Calibrate = on;
        } else {
            calibrate->setChecked(!on);
        }
    });
}

void cApplication::PlaceWindow() {
    // As large as the window asks, but inside the screen's free area, with
    // room for a title bar (the frame is not known before the first show).
    const auto sizeOn = [this](const QScreen* screen) {
        const int titleBar = window_->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        return window_->sizeHint().boundedTo(screen->availableGeometry().size() -
                                             QSize(0, titleBar));
    };
    const QPoint saved(state_.Left, state_.Top);
    // The title bar can be grabbed while the middle of its top edge is on a screen.
    if (const QScreen* screen =
            QGuiApplication::screenAt(saved + QPoint(window_->sizeHint().width() / 2, 0))) {
        // The place inside the frame: it does not depend on a frame that
        // the window system may add only after the window is shown.
        window_->setGeometry(QRect(saved, sizeOn(screen)));
        return;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    window_->resize(sizeOn(primary));
    // Before the first show a move places the frame: the title bar too is on the screen.
    window_->move(primary->availableGeometry().topLeft());
}

bool cApplication::Start() {
    splash_ = std::make_unique<AsciiSplash>();
    splash_->SetStatus(QStringLiteral("Searching for\r\nComm Ports..."));
    splash_->show();
    QCoreApplication::processEvents();
    StartupFindPorts(*session_, state_, options_.commandLine);
    splash_.reset();

    StartupReadSettings(*session_, registry_, state_);
    if (!registry_.SkippedLines().isEmpty()) {
        // Said once, so that a hand edit that did not read is not lost silently.
        window_->Ask(QStringLiteral("Settings File"),
                     QStringLiteral("These lines of %1 could not be read and were skipped:\r\n\r\n")
                             .arg(registry_.FileName()) +
                         registry_.SkippedLines().join(QStringLiteral("\r\n")),
                     MessageIcon::Exclamation, MessageButtons::Ok);
    }
    const Controls& c = window_->C();
    c.mnuCalibrate->setVisible(state_.CalibrateVisible);
    c.mnuCalibrate->setChecked(state_.Calibrate);
    c.mnuAutoSearch->setChecked(state_.AutoSearch);
    ShowLogOptions();
    {
        const QSignalBlocker quietTimeouts(c.cboTimeout);
        const QSignalBlocker quietIntervals(c.cboPacketInterval);
        c.cboTimeout->setCurrentIndex(session_->link.TimeoutPosition());
        c.cboPacketInterval->setCurrentIndex(session_->link.IntervalPosition());
    }
    ShowLineSettings();
    PlaceWindow();
    selection_->FillSensorSelector();
    ShowStatusBar();
    window_->show();
    started_ = true;
    // Closing the window during these reads ends them: Shutdown aborts the session.
    bool opened = false;
    session_->RunUserFlow([this, &opened] { opened = StartupOpenSensor(*session_); });
    if (!opened || shutDown_) {
        return opened;
    }
    ShowPortOptions();
    selection_->FormReady = true;
    return true;
}

void cApplication::ReportProgramError(const QString& doing, const QString& what) {
    if (shutDown_ || window_ == nullptr) {
        return;
    }
    window_->Ask(QStringLiteral("Program Error"),
                 QStringLiteral("The program met an error of its own while %1:\n%2\n\n"
                                "What was being done may be incomplete; the program goes on. "
                                "Read the sensor again before applying changes.")
                     .arg(doing, what),
                 MessageIcon::Critical, MessageButtons::Ok);
}

void cApplication::Shutdown() {
    if (shutDown_ || !started_) {
        return;
    }
    shutDown_ = true;
    // A flow still running ends at its next request and says nothing more.
    session_->Abort();
    window_->SetQuiet(true);
    state_.WindowNormal = !window_->isMinimized() && !window_->isMaximized();
    if (state_.WindowNormal) {
        // The place inside the frame, as PlaceWindow restores it.
        state_.Top = window_->geometry().y();
        state_.Left = window_->geometry().x();
    }
    QStringList errors = kelvar::Shutdown(*session_, registry_, state_);
    // Every key fails for the same reason: say it once.
    errors.removeDuplicates();
    if (!errors.isEmpty()) {
        const QString text = QStringLiteral("The settings could not be written:\r\n") +
                             errors.join(QStringLiteral("\r\n"));
        if (terminating_) {
            QTextStream(stderr) << "kelvar-setup: " << FromCrLf(text).simplified() << Qt::endl;
        } else {
            window_->SetQuiet(false);
            window_->Ask(QStringLiteral("Settings Not Saved"), text, MessageIcon::Exclamation,
                         MessageButtons::Ok);
            window_->SetQuiet(true);
        }
    }
}

bool cApplication::MayClose() {
    cSession& s = *session_;
    // A flow that runs ends as the window closes, as it does today.
    if (!started_ || s.FlowRunning() || !s.sensor.DataIsLoaded() ||
        !s.sensor.TestForChangedData()) {
        return true;
    }
    const MessageAnswer answer =
        window_->Ask(QStringLiteral("Changes Not Applied"),
                     QStringLiteral("The sensor settings have changes that were not applied.\r\n"
                                    "Apply them to the sensor, discard them, or cancel "
                                    "and go on?"),
                     MessageIcon::Exclamation, MessageButtons::ApplyDiscardCancel);
    if (answer != MessageAnswer::Apply) {
        return answer == MessageAnswer::Discard;
    }
    s.RunUserFlow([&s] { s.apply.Apply(); });
    return !s.sensor.TestForChangedData() && s.apply.LastUnconfirmed().isEmpty() &&
           !s.apply.PortFailed();
}

void cApplication::Terminate() {
    terminating_ = true;
    window_->SetQuiet(true);
    // An open question would hold the program: it is answered "no".
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget);
            dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    }
    if (started_) {
        window_->close();
    } else {
        shutDown_ = true;
        session_->Abort();
    }
}

} // namespace kelvar
