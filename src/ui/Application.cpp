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
#include <QPointer>
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
// The calibration fields and their up-down controls.
struct CalibrationControl {
    CalibrationField field;
    const char* name;
    const char* upDown;
};
constexpr std::array<CalibrationControl, 2> CalibrationControls{{
    {CalibrationField::ZeroAdjust, "txtAdjustValue", "UpDownAdjust"},
    {CalibrationField::NullZero, "txtNullZero", "UpDownNullZero"},
}};

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
    window_->Control<cStripChart>(QStringLiteral("TimeBase"))->SetGraph(nullptr);
    session_.reset();
}

void cApplication::Draw(const QString& label, const QString& text) {
    // Some are drawn after every exchange: a search of the whole window each
    // time would cost more than all else the monitor does.
    QPointer<QWidget>& target = drawTargets_[label];
    if (target == nullptr) {
        target = window_->findChild<QWidget*>(label);
    }
    if (auto* widget = qobject_cast<QLabel*>(target)) {
        widget->setText(text);
    } else if (auto* field = qobject_cast<QLineEdit*>(target)) {
        if (field->text() != text) {
            field->setText(text);
        }
    } else if (auto* frame = qobject_cast<QGroupBox*>(target)) {
        frame->setTitle(text);
    }
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
    for (int panel = 1; panel <= 4; ++panel) {
        Draw(QStringLiteral("StatusBar1_Panel%1").arg(panel), bar.Panel(panel));
    }
    auto* progress = window_->Control<QProgressBar>(QStringLiteral("ProgressBar1"));
    progress->setRange(bar.ProgressMinimum(), bar.ProgressMaximum());
    progress->setValue(bar.ProgressValue());
    window_->SetProgressShown(bar.ProgressVisible());
}

void cApplication::ShowCommStatus(unsigned changedLines) {
    const cCommStatus& status = session_->CommStatus();
    for (int i = 0; i < cCommStatus::LineCount; ++i) {
        if ((changedLines & (1U << i)) != 0) {
            const auto& line = status.line(i);
            SetLight(window_->Control<QWidget>(QStringLiteral("CommLED"), i), line.green);
            window_->Control<QLabel>(QStringLiteral("lblCommStatus"), i)->setText(line.caption);
        }
    }
    for (int i = 0; i < 3; ++i) {
        window_->Control<QLabel>(QStringLiteral("lblErrorText"), i)->setText(status.errorText(i));
    }
    Draw(QStringLiteral("lblPortStatus"), status.portStatus());
}

void cApplication::ShowLinkDisplay() {
    const LinkDisplay& d = session_->LinkTexts();
    Draw(QStringLiteral("txtTxData"), d.txData);
    Draw(QStringLiteral("txtRxData"), d.rxData);
    Draw(QStringLiteral("txtPacketTime"), d.packetTime);
    Draw(QStringLiteral("txtIntervalTime"), d.intervalTime);
    Draw(QStringLiteral("lblPacketDelay"), d.infoDelay);
    Draw(QStringLiteral("lblPacketTime"), d.infoPacketTime);
    Draw(QStringLiteral("lblPacketTimeout"), d.infoTimeout);
}

void cApplication::ShowPortOptions() {
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        auto* option = window_->Control<QAbstractButton>(QStringLiteral("optPort"), i);
        const OptionState& state = session_->PortOptions[i];
        const QSignalBlocker quiet(option);
        option->setChecked(state.selected);
        option->setEnabled(state.enabled);
        SetBold(option, state.bold);
        SetTextColour(option, state.green ? Colour::DarkGreen : Colour::Black);
    }
    for (int i = 0; i < SpeedOptionGroup::Size; ++i) {
        auto* option = window_->Control<QAbstractButton>(QStringLiteral("optBaud"), i);
        const QSignalBlocker quiet(option);
        option->setChecked(session_->SpeedOptions[i].selected);
        SetBold(option, session_->SpeedOptions[i].bold);
    }
}

void cApplication::ShowSelector() {
    const SensorSelectorState& state = selection_->Selector();
    auto* selector = window_->Control<QComboBox>(QStringLiteral("cboSensorSelect"));
    const QSignalBlocker quiet(selector);
    selector->clear();
    selector->addItems(state.entries);
    selector->setCurrentIndex(state.selected);
    selector->setEnabled(state.enabled);
    Draw(QStringLiteral("fraSensorSelect"), state.frameCaption);
    Draw(QStringLiteral("lblSensor"), state.sensorLabel);
}

void cApplication::ShowStatusPanel(unsigned changedLights) {
    Draw(QStringLiteral("lblStatusByte"), statusDisplay_->StatusByteText());
    Draw(QStringLiteral("lblControlByte"), statusDisplay_->ControlByteText());
    for (int bit = 0; bit < cStatusDisplay::LightCount; ++bit) {
        if ((changedLights & (1U << bit)) != 0) {
            SetLight(window_->Control<QWidget>(QStringLiteral("StatusLED"), bit),
                     QRgb(statusDisplay_->LightColour(bit)));
            window_->Control<QLabel>(QStringLiteral("lblStatus"), bit)
                ->setText(statusDisplay_->Light(bit).caption);
        }
    }
}

void cApplication::ShowStatusStrip(unsigned changedFields) {
    for (int field = 0; field < cStatusDisplay::FieldCount; ++field) {
        if ((changedFields & (1U << field)) != 0) {
            auto* label = window_->Control<QLabel>(QStringLiteral("lblStatusStrip"), field);
            label->setText(statusDisplay_->FieldText(field));
            SetLight(label, QRgb(statusDisplay_->FieldColour(field)));
        }
    }
}

void cApplication::BindSelection() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    statusDisplay_ = std::make_unique<cStatusDisplay>(s);
    selection_ = std::make_unique<cSensorSelection>(
        s, [this] { SaveLoadSettings(*session_, registry_, state_, true); });
    connect(statusDisplay_.get(), &cStatusDisplay::panelChanged, this,
            &cApplication::ShowStatusPanel);
    connect(statusDisplay_.get(), &cStatusDisplay::stripChanged, this,
            &cApplication::ShowStatusStrip);
    connect(&s, &cSession::loadStarted, statusDisplay_.get(), &cStatusDisplay::BeginLoading);
    connect(&s, &cSession::loadFinished, statusDisplay_.get(), &cStatusDisplay::EndLoading);
    connect(selection_.get(), &cSensorSelection::selectorChanged, this,
            &cApplication::ShowSelector);

    auto* selector = w.Control<QComboBox>(QStringLiteral("cboSensorSelect"));
    connect(selector, &QComboBox::activated, this, [this, &s](int index) {
        s.RunUserFlow([this, index] { selection_->SelectSensor(index); });
    });
    auto* addresses = w.Control<QComboBox>(QStringLiteral("SensorAddressSelect"));
    connect(addresses, &QComboBox::activated, this, [this, &s](int index) {
        s.RunUserFlow([this, index] { selection_->SelectAddress(index); });
    });
    connect(selection_.get(), &cSensorSelection::addressSelected, addresses, [addresses](int i) {
        const QSignalBlocker quiet(addresses);
        addresses->setCurrentIndex(i);
    });

    cautions_ = std::make_unique<cCautions>(state_.Information);
    auto* name = w.Control<QLineEdit>(QStringLiteral("txtSensorName"));
    auto* zeroAdjust = w.Control<QLineEdit>(QStringLiteral("txtData"), 16);
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
    if (auto* restore = w.findChild<QAction*>(QStringLiteral("mnuShowAll"))) {
        connect(restore, &QAction::triggered, this, [this] { cautions_->RestoreAll(); });
    }
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
        window_->Control<QWidget>(QStringLiteral("SSTab1"))->setFocus();
        return true;
    });
    connect(selection_.get(), &cSensorSelection::nameHintChanged, this,
            [this] { Draw(QStringLiteral("lblSensorNameHint"), selection_->NameHintShown()); });
}

void cApplication::BindGraph() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    auto* chart = w.Control<cStripChart>(QStringLiteral("TimeBase"));
    chart->SetGraph(&s.Graph);
    s.Graph.AreaWidth = chart->contentsRect().width();
    connect(chart, &cStripChart::widthChanged, &s, [&s](int width) { s.Graph.AreaWidth = width; });
    connect(&s, &cSession::graphDrawn, chart, [this, chart](const GraphPlot& plot) {
        chart->Draw(plot);
        if (plot.clear) {
            Draw(QStringLiteral("lblGraph_5"), plot.minimumLabel);
            Draw(QStringLiteral("lblGraph_6"), plot.maximumLabel);
        }
        if (!plot.sampleRate.isEmpty()) {
            Draw(QStringLiteral("txtSampleRate"), plot.sampleRate);
        }
    });

    auto* start = w.Control<QAbstractButton>(QStringLiteral("cmdStartGraph"));
    auto* pause = w.Control<QAbstractButton>(QStringLiteral("cmdPauseGraph"));
    auto* scale = w.Control<QComboBox>(QStringLiteral("cboScale"));
    auto* reload = w.Control<QWidget>(QStringLiteral("cmdReload"));
    connect(start, &QAbstractButton::clicked, &s, &cSession::StartStopGraph);
    connect(pause, &QAbstractButton::clicked, &s, &cSession::PauseGraph);
    s.GraphScaleEntry = scale->currentIndex();
    connect(scale, &QComboBox::currentIndexChanged, &s,
            [&s](int entry) { s.GraphScaleEntry = entry; });
    // Connected after the flows' own handler, which enables Reset again.
    const auto showState = [&s, start, pause, scale, reload] {
        start->setText(s.StartGraphCaption());
        start->setEnabled(!s.FlowRunning());
        pause->setText(s.PauseGraphCaption());
        pause->setEnabled(s.GraphRunning);
        scale->setEnabled(!s.GraphRunning);
        reload->setEnabled(!s.GraphRunning && !s.FlowRunning());
    };
    connect(&s, &cSession::graphStateChanged, this, showState);
    connect(&s, &cSession::flowRunningChanged, this, showState);
    showState();

    auto* buttons = w.Control<QButtonGroup>(QStringLiteral("cmdGraphSelect"));
    connect(buttons, &QButtonGroup::idClicked, &s, [buttons, &s](int chosen) {
        for (QAbstractButton* button : buttons->buttons()) {
            SetButtonHighlight(button, buttons->id(button) == chosen);
        }
        s.RequestSetpoint(chosen);
    });

    connect(w.Control<QAbstractButton>(QStringLiteral("cmdSaveGraph")), &QAbstractButton::clicked,
            &s, [&s, chart] {
                s.SaveGraph(
                    [chart](QIODevice& device) { return chart->Image().save(&device, "PNG"); });
            });
}

void cApplication::Bind() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    connect(&s, &cSession::readoutShown, this,
            [&w](ReadoutPanel panel, Readout readout, const QString& text) {
                if (QLabel* label = w.ReadoutLabel(panel, readout)) {
                    label->setText(text);
                }
            });
    // A readout whose poll went unanswered is greyed, never its last value in black.
    connect(&s, &cSession::readoutsStaleChanged, this, [&w, &s] {
        for (const Readout readout : AllReadouts) {
            for (const ReadoutPanel panel :
                 {ReadoutPanel::Monitor, ReadoutPanel::Graph, ReadoutPanel::Calibration}) {
                if (QLabel* label = w.ReadoutLabel(panel, readout)) {
                    label->setEnabled(!s.ReadoutStale(readout));
                }
            }
        }
    });
    connect(&s, &cSession::identityChanged, this, [this, &s] {
        const SensorIdentityView& id = s.Identity();
        for (const auto& [name, text] : {std::pair{"lblResolution", &id.resolution},
                                         {"lblInfoResolution", &id.resolution},
                                         {"lblSerialNumber", &id.serialNumber},
                                         {"lblModel", &id.model},
                                         {"lblFirmwareVersion", &id.firmwareVersion},
                                         {"lblFirmwareDate", &id.firmwareDate},
                                         {"lblUnits", &id.units},
                                         {"lblInfoNullZero", &id.nullZero}}) {
            Draw(QLatin1String(name), *text);
        }
    });
    connect(&s, &cSession::currentSensorChanged, this, [this, &s] {
        const CurrentSensorView& current = s.CurrentSensor();
        Draw(QStringLiteral("lblEditInfo"), FromCrLf(current.setpointHelp));
        Draw(QStringLiteral("fraProgramData"), current.programDataTitle);
        Draw(QStringLiteral("lblSensor"), current.addressText);
        Draw(QStringLiteral("txtSensorName"), current.name);
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
    connect(&s, &cSession::portOptionsChanged, this, &cApplication::ShowPortOptions);
    connect(&s, &cSession::commStatusChanged, this, &cApplication::ShowPortOptions);
    connect(&s, &cSession::commLabelChanged, this, [this] {
        auto* label = window_->Control<QLabel>(QStringLiteral("lblComm"));
        label->setText(session_->CommLabel());
        SetTextColour(label, session_->CommLabelRed() ? Colour::Red : Colour::Black);
    });
    connect(&s.link, &cSensorLink::portLost, this,
            [this](const QString& reason) { session_->SetCommLabel(reason, true); });

    connect(&w, &AsciiSensor::tabChanged, &s, &cSession::TabShown);
    connect(&w, &AsciiSensor::closing, this, &cApplication::Shutdown);
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        connect(w.Control<QAbstractButton>(QStringLiteral("optPort"), i), &QAbstractButton::clicked,
                &s, [&s, i] { s.ChoosePortOption(i); });
    }
    for (int i = 0; i < SpeedOptionGroup::Size; ++i) {
        connect(w.Control<QAbstractButton>(QStringLiteral("optBaud"), i), &QAbstractButton::clicked,
                &s, [&s, i] { s.ChooseSpeedOption(i); });
    }
    // Each of these starts a flow; none may start inside another.
    const auto flow = [&s](void (cSession::*member)()) {
        return [&s, member] {
            s.RunUserFlow([&s, member] { (s.*member)(); });
        };
    };
    connect(w.Control<QAbstractButton>(QStringLiteral("cmdCommApply")), &QAbstractButton::clicked,
            &s, flow(&cSession::CommApply));
    connect(w.Control<QAbstractButton>(QStringLiteral("cmdAutoBaudSearch")),
            &QAbstractButton::clicked, &s, flow(&cSession::FullScan));
    connect(w.Control<QAbstractButton>(QStringLiteral("cmdReload")), &QAbstractButton::clicked, &s,
            flow(&cSession::Reset));

    auto* apply = w.Control<QAbstractButton>(QStringLiteral("cmdApply"));
    apply->setEnabled(false);
    connect(apply, &QAbstractButton::clicked, &s, flow(&cSession::Apply));
    connect(&s, &cSession::applyEnabledChanged, apply, [apply, &s](bool enabled) {
        apply->setEnabled(enabled && !s.FlowRunning() && !s.GraphRunning);
    });
    connect(&s, &cSession::flowRunningChanged, this, [&w, &s](bool running) {
        // Whatever would start another flow, or send while this one runs.
        for (const char* name :
             {"cmdCommApply", "cmdAutoBaudSearch", "cmdReload", "cmdDefaultSettings",
              "cmdSaveSettings", "cboSensorSelect", "SensorAddressSelect", "cmdSetpointTest",
              "cmdAutoAdjust", "cmdCalibrateSetTarget", "cmdMidPoint"}) {
            if (auto* control = w.findChild<QWidget*>(QLatin1String(name))) {
                control->setEnabled(!running);
            }
        }
        for (const char* name : {"cmdSelect", "cmdGraphSelect"}) {
            for (QAbstractButton* button :
                 w.Control<QButtonGroup>(QLatin1String(name))->buttons()) {
                button->setEnabled(!running);
            }
        }
        for (const CalibrationControl& controls : CalibrationControls) {
            w.Control<QWidget>(QLatin1String(controls.upDown))->setEnabled(!running);
        }
        for (const char* name : {"mnuSave", "mnuLoad", "mnuDefault", "mnuCalibrate"}) {
            if (auto* action = w.findChild<QAction*>(QLatin1String(name))) {
                action->setEnabled(!running);
            }
        }
        if (running) {
            w.Control<QAbstractButton>(QStringLiteral("cmdApply"))->setEnabled(false);
        } else {
            s.RefreshApplyState();
        }
    });
    const auto factoryReset = [this, &s] {
        s.RunUserFlow([this] {
            if (LoadDefaultValues(*session_) != FactoryReset::Declined) {
                ShowSettings(true);
            }
        });
    };
    connect(w.Control<QAbstractButton>(QStringLiteral("cmdDefaultSettings")),
            &QAbstractButton::clicked, &s, factoryReset);
    if (auto* menuDefault = w.findChild<QAction*>(QStringLiteral("mnuDefault"))) {
        connect(menuDefault, &QAction::triggered, &s, factoryReset);
    }

    const auto save = flow(&cSession::SaveSensorData);
    connect(w.Control<QAbstractButton>(QStringLiteral("cmdSaveSettings")),
            &QAbstractButton::clicked, &s, save);
    if (auto* menuSave = w.findChild<QAction*>(QStringLiteral("mnuSave"))) {
        connect(menuSave, &QAction::triggered, &s, save);
    }
    if (auto* menuLoad = w.findChild<QAction*>(QStringLiteral("mnuLoad"))) {
        connect(menuLoad, &QAction::triggered, &s, flow(&cSession::LoadSensorData));
    }
    connect(&s, &cSession::currentFileChanged, this,
            [this, caption = w.windowTitle()](const QString& bareName) {
                window_->setWindowTitle(WindowCaption(caption, bareName));
            });

    auto* timeouts = w.Control<QComboBox>(QStringLiteral("cboTimeout"));
    auto* intervals = w.Control<QComboBox>(QStringLiteral("cboPacketInterval"));
    connect(timeouts, &QComboBox::currentIndexChanged, &s.link, &cSensorLink::SelectTimeout);
    connect(intervals, &QComboBox::currentIndexChanged, &s.link, &cSensorLink::SelectInterval);

    auto* exit = w.findChild<QAction*>(QStringLiteral("mnuExit"));
    if (exit != nullptr) {
        connect(exit, &QAction::triggered, &w, &QWidget::close);
    }
    auto* autoSearch = w.findChild<QAction*>(QStringLiteral("mnuAutoSearch"));
    if (autoSearch != nullptr) {
        connect(autoSearch, &QAction::toggled, this, [this](bool on) { state_.AutoSearch = on; });
    }
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
    connect(w.Control<QSpinBox>(QStringLiteral("spnRetries")), &QSpinBox::valueChanged, &s.link,
            [&s](int retries) { s.link.Retries = retries; });
    // The line driver counts from the next open of the port.
    const auto driverChanged = [this, &w] {
        cLineDriver driver;
        const int mode = w.Control<QComboBox>(QStringLiteral("cboRs485"))->currentIndex();
        driver.mode =
            LineDriverModes[std::clamp(mode, 0, int{std::size(LineDriverModes)} - 1)].mode;
        driver.rtsHighOnSend =
            w.Control<QComboBox>(QStringLiteral("cboRs485Rts"))->currentIndex() == 0;
        driver.delayBeforeMs = w.Control<QSpinBox>(QStringLiteral("spnRs485Before"))->value();
        driver.delayAfterMs = w.Control<QSpinBox>(QStringLiteral("spnRs485After"))->value();
        session_->link.Port().setLineDriver(driver);
    };
    for (const char* name : {"cboRs485", "cboRs485Rts"}) {
        connect(w.Control<QComboBox>(QLatin1String(name)), &QComboBox::currentIndexChanged, this,
                driverChanged);
    }
    for (const char* name : {"spnRs485Before", "spnRs485After"}) {
        connect(w.Control<QSpinBox>(QLatin1String(name)), &QSpinBox::valueChanged, this,
                driverChanged);
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
        connect(w.Control<QAbstractButton>(QStringLiteral("optPort"), i), &QAbstractButton::clicked,
                this, &cApplication::ShowPortInfo);
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
    AsciiSensor& w = *window_;
    const cLineDriver driver = session_->link.Port().lineDriver();
    auto* retries = w.Control<QSpinBox>(QStringLiteral("spnRetries"));
    auto* mode = w.Control<QComboBox>(QStringLiteral("cboRs485"));
    auto* rts = w.Control<QComboBox>(QStringLiteral("cboRs485Rts"));
    auto* before = w.Control<QSpinBox>(QStringLiteral("spnRs485Before"));
    auto* after = w.Control<QSpinBox>(QStringLiteral("spnRs485After"));
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
    window_->Control<QPlainTextEdit>(QStringLiteral("txtPortInfo"))
        ->setPlainText(lines.join(u'\n'));
}

void cApplication::ShowLinkStatistics() {
    const int address = session_->link.CurrentAddress;
    QStringList lines;
    if (address >= MinAddress && address <= MaxAddress) {
        lines << QStringLiteral("Sensor %1").arg(address)
              << session_->link.Statistics(address).Lines();
    }
    auto* view = window_->Control<QPlainTextEdit>(QStringLiteral("txtLinkStatistics"));
    if (const QString text = lines.join(u'\n'); view->toPlainText() != text) {
        view->setPlainText(text);
    }
}

void cApplication::BindLog() {
    cLog& log = session_->log;
    AsciiSensor& w = *window_;
    auto* view = w.Control<QPlainTextEdit>(QStringLiteral("rtbLog"));
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
    const auto button = [&w](const char* name) {
        return w.Control<QAbstractButton>(QLatin1String(name));
    };
    connect(button("cmdUpdateLog"), &QAbstractButton::clicked, &log, &cLog::LogSensorReport);
    connect(button("cmdClearLog"), &QAbstractButton::clicked, &log, &cLog::Clear);
    connect(button("cmdSaveLog"), &QAbstractButton::clicked, &log, &cLog::SaveAs);
    connect(button("cmdCopyLog"), &QAbstractButton::clicked, &log,
            [&log] { QGuiApplication::clipboard()->setText(log.Text()); });
    const auto item = [&w](const char* name) {
        return w.Control<QAction>(QLatin1String(name));
    };
    // triggered, not toggled: the check marks are set from the options, and
    // only the user's clicks change them.
    connect(item("mnuLogEnabled"), &QAction::triggered, &log,
            [&log](bool on) { log.SetEnabled(on); });
    connect(item("mnuCommunications"), &QAction::triggered, &log,
            [&log](bool on) { log.SetCommunications(on); });
    for (const auto& [name, option] : {std::pair{"mnuSensorList", &LogOptions::sensorList},
                                       {"mnuSensorData", &LogOptions::sensorData},
                                       {"mnuRuntime", &LogOptions::runtime}}) {
        // Copied by name: clang 14 cannot capture a structured binding.
        connect(item(name), &QAction::triggered, &log, [&log, member = option](bool on) {
            log.Options.*member = on;
            emit log.optionsChanged();
        });
    }
    connect(item("mnuSelectAll"), &QAction::triggered, &log, &cLog::SelectAll);
    connect(button("cmdPrintLog"), &QAbstractButton::clicked, this,
            [this] { PrintPages([this](cPrintSurface& pages) { PrintLog(*session_, pages); }); });
    const auto printSettings = [this] {
        if (session_->ConfirmIncompleteRead(QStringLiteral("Print Sensor Data"),
                                            QStringLiteral("Print these values"))) {
            PrintPages(
                [this](cPrintSurface& pages) { PrintConfigurationReport(*session_, pages); });
        }
    };
    connect(button("cmdPrintSettings"), &QAbstractButton::clicked, this, printSettings);
    connect(item("mnuPrint"), &QAction::triggered, this, printSettings);
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
    connect(w.Control<QAction>(QStringLiteral("mnuHelpContents")), &QAction::triggered, this,
            [this] { help_->ShowContents(); });
    connect(w.Control<QAction>(QStringLiteral("mnuHomePage")), &QAction::triggered, this,
            [this] { help_->ShowHomePage(); });
    connect(w.Control<QAction>(QStringLiteral("mnuAbout")), &QAction::triggered, this, [this] {
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
    auto* enabled = w.Control<QAction>(QStringLiteral("mnuLogEnabled"));
    enabled->setChecked(options.enabled);
    enabled->setText(session_->log.EnabledCaption());
    for (const auto& [name, checked] : {std::pair{"mnuSensorList", options.sensorList},
                                        {"mnuSensorData", options.sensorData},
                                        {"mnuRuntime", options.runtime},
                                        {"mnuCommunications", options.communications}}) {
        auto* action = w.Control<QAction>(QLatin1String(name));
        action->setChecked(checked);
        action->setEnabled(options.enabled);
    }
    w.Control<QAction>(QStringLiteral("mnuSelectAll"))->setEnabled(options.enabled);
    w.SetTabEnabled(Tab::Log, options.enabled);
}

void cApplication::ShowSettings(bool force) {
    const SettingsView view = RefreshApplyState(*session_, force);
    for (const FieldShown& shown : view.fields) {
        auto* field = window_->Control<QLineEdit>(QStringLiteral("txtData"), shown.field);
        if (!field->hasFocus()) {
            field->setText(shown.text);
        }
    }
    for (const CaptionShown& shown : view.captions) {
        Draw(QStringLiteral("lblData_%1").arg(shown.field), shown.caption);
    }
    for (const OptionShown& shown : view.options) {
        const OptionControl& widgets = OptionControlOf(shown.group);
        if (widgets.frame == nullptr) {
            auto* box = window_->Control<QCheckBox>(QLatin1String(widgets.name));
            const QSignalBlocker quiet(box);
            box->setChecked(shown.index == 1);
            SetBold(box, shown.index == 1);
            continue;
        }
        auto* group = window_->findChild<QButtonGroup*>(QLatin1String(widgets.name));
        if (group == nullptr) {
            continue;
        }
        const QSignalBlocker quiet(group);
        SelectOption(group, shown.index);
        for (QAbstractButton* button : group->buttons()) {
            SetBold(button, group->id(button) == shown.index);
        }
    }
    const PictographView picture = Pictograph(session_->sensor);
    for (int i = 0; i < 4; ++i) {
        Draw(QStringLiteral("lblPicto_%1").arg(i),
             FromCrLf(picture.labels[static_cast<std::size_t>(i)]));
    }
    for (int i = 0; i < 2; ++i) {
        Draw(QStringLiteral("lblPictoWindow_%1").arg(i),
             FromCrLf(picture.windowLabels[static_cast<std::size_t>(i)]));
    }
    if (auto* drawing = window_->findChild<cCylinderDrawing*>()) {
        drawing->SetMirrored(picture.mirrored);
    }
    if (view.addressIndex) {
        auto* addresses = window_->Control<QComboBox>(QStringLiteral("SensorAddressSelect"));
        const QSignalBlocker quiet(addresses);
        addresses->setCurrentIndex(*view.addressIndex);
    }
    auto* grid = window_->Control<QTableWidget>(QStringLiteral("MSFlexGrid1"));
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
        for (const QString& buttons :
             {QStringLiteral("cmdSelect"), QStringLiteral("cmdGraphSelect")}) {
            SetUnderline(window_->Control<QAbstractButton>(buttons, i), marked);
        }
    }
    for (const CalibrationControl& controls : CalibrationControls) {
        auto* field = window_->Control<QLineEdit>(QLatin1String(controls.name));
        if (!field->hasFocus()) {
            field->setText(CalibrationFieldText(session_->sensor, controls.field));
        }
    }
    const AutoNullView autoNull = AutoNullControls(session_->sensor);
    window_->Control<QLineEdit>(QStringLiteral("txtData"), FieldOfRegister(Param::AutoNullWindow))
        ->setEnabled(autoNull.windowEnabled);
    Draw(QStringLiteral("lblAutoNull"), FromCrLf(autoNull.note));
}

void cApplication::BeginCellEdit() {
    if (setpointGridGuard_ || session_->FlowRunning()) {
        return;
    }
    auto* grid = window_->Control<QTableWidget>(QStringLiteral("MSFlexGrid1"));
    auto* box = window_->Control<QLineEdit>(QStringLiteral("txtEditCell"));
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
    auto* grid = window_->Control<QTableWidget>(QStringLiteral("MSFlexGrid1"));
    auto* box = window_->Control<QLineEdit>(QStringLiteral("txtEditCell"));
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
    }
    ShowSettings(false);
}

void cApplication::BindSetpoints() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    auto* grid = w.Control<QTableWidget>(QStringLiteral("MSFlexGrid1"));
    auto* box = w.Control<QLineEdit>(QStringLiteral("txtEditCell"));

    connect(&s, &cSession::loadStarted, this, [this] {
        CloseCellEdit();
        setpointGridGuard_ = true;
    });
    connect(&s, &cSession::loadFinished, this, [this] { setpointGridGuard_ = false; });
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

    auto* buttons = w.Control<QButtonGroup>(QStringLiteral("cmdSelect"));
    connect(buttons, &QButtonGroup::idClicked, this, [this](int index) {
        if (selectedSetpoint_ >= 0) {
            SetButtonHighlight(
                window_->Control<QAbstractButton>(QStringLiteral("cmdSelect"), selectedSetpoint_),
                false);
        }
        SetButtonHighlight(window_->Control<QAbstractButton>(QStringLiteral("cmdSelect"), index),
                           true);
        selectedSetpoint_ = index;
        session_->RequestSetpoint(index);
    });
    connect(&s, &cSession::setpointWindowChanged, this, [this] {
        const SetpointWindowView& rows = session_->SetpointWindowShown();
        for (int i = 0; i < 3; ++i) {
            const SetpointRowView& row = rows.at(static_cast<std::size_t>(i));
            Draw(QStringLiteral("lblSetpointNumber_%1").arg(i), QString::number(row.number));
            Draw(QStringLiteral("lblSetpointTarget_%1").arg(i), row.target);
            Draw(QStringLiteral("lblSetpointVelocity_%1").arg(i), row.velocity);
            Draw(QStringLiteral("lblSetpointDwell_%1").arg(i), row.dwell);
            SetTextColour(window_->Control<QLabel>(QStringLiteral("lblSetpointTarget"), i),
                          row.targetOutOfLimits ? Colour::Red : Colour::Black);
        }
    });

    auto* viewOnly = w.Control<QCheckBox>(QStringLiteral("chkView"));
    viewOnly->setToolTip(ViewOnlyTip(viewOnly->isChecked()));
    connect(viewOnly, &QCheckBox::toggled, this, [this, viewOnly](bool ticked) {
        session_->SetViewOnly(ticked);
        if (viewOnly->isVisible()) {
            QToolTip::showText(viewOnly->mapToGlobal(viewOnly->rect().center()),
                               ProperCase(ViewOnlyTip(ticked)), viewOnly);
        }
    });
    connect(&s, &cSession::viewOnlyChanged, viewOnly, [viewOnly](bool ticked) {
        const QSignalBlocker quiet(viewOnly);
        viewOnly->setChecked(ticked);
        viewOnly->setToolTip(ViewOnlyTip(ticked));
        SetBold(viewOnly, ticked);
    });

    auto* tests = w.Control<QButtonGroup>(QStringLiteral("optCalSetpoints"));
    connect(tests, &QButtonGroup::idClicked, this, [tests](int index) {
        for (QAbstractButton* option : tests->buttons()) {
            SetBold(option, tests->id(option) == index);
        }
    });
    auto* load = w.Control<QAbstractButton>(QStringLiteral("cmdSetpointTest"));
    connect(load, &QAbstractButton::clicked, this, [this, tests, &s] {
        const int option = tests->checkedId();
        for (QAbstractButton* button : tests->buttons()) {
            SetBold(button, false);
        }
        s.RunUserFlow([this, option, &s] {
            if (s.LoadSetpointTest(option)) {
                ShowSettings(true);
            }
        });
    });
    // The calibration tab's help follows the focus through the frame.
    connect(&w, &AsciiSensor::focusEntered, this, [this, tests, load](QWidget* control) {
        if (control == load || tests->buttons().contains(control)) {
            Draw(QStringLiteral("lblCalibrate"),
                 FromCrLf(SetpointTestHelp(control == load ? SetpointTestFocus::Button
                                                           : SetpointTestFocus::Option)));
        }
    });
    connect(&w, &AsciiSensor::focusLeft, this, [this, tests, load](QWidget* control) {
        if (control == load || tests->buttons().contains(control)) {
            Draw(QStringLiteral("lblCalibrate"), QString());
        }
    });
}

void cApplication::ShowFieldHelp() {
    const FieldHelp help = SetFieldHelp(session_->sensor);
    for (const FieldTip& tip : help.fields) {
        window_->Control<QLineEdit>(QStringLiteral("txtData"), tip.field)->setToolTip(tip.tip);
    }
    for (const OptionTip& tip : help.options) {
        const OptionControl& widgets = OptionControlOf(tip.group);
        if (widgets.frame == nullptr) {
            window_->Control<QCheckBox>(QLatin1String(widgets.name))->setToolTip(tip.tip);
        } else if (auto* group = window_->findChild<QButtonGroup*>(QLatin1String(widgets.name))) {
            if (QAbstractButton* button = group->button(tip.index)) {
                button->setToolTip(tip.tip);
            }
        }
    }
    if (!help.address.isEmpty()) {
        window_->Control<QWidget>(QStringLiteral("SensorAddressSelect"))->setToolTip(help.address);
    }
}

void cApplication::HighlightPictograph(int reg) {
    PictoQuantity quantity{};
    if (!PictographQuantityOf(reg, &quantity)) {
        return;
    }
    QList<QLabel*> labels;
    for (int i = 0; i < 4; ++i) {
        labels.append(window_->Control<QLabel>(QStringLiteral("lblPicto"), i));
    }
    for (int i = 0; i < 2; ++i) {
        labels.append(window_->Control<QLabel>(QStringLiteral("lblPictoWindow"), i));
    }
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
    for (int index = 0; index < NumberFieldCount; ++index) {
        auto* field = w.Control<QLineEdit>(QStringLiteral("txtData"), index);
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
            auto* box = w.Control<QCheckBox>(QLatin1String(widgets.name));
            connect(box, &QCheckBox::toggled, this, [this, group](bool ticked) {
                ChooseOption(session_->sensor, group, ticked ? 1 : 0);
                ShowSettings(false);
            });
        } else if (auto* buttons = w.findChild<QButtonGroup*>(QLatin1String(widgets.name))) {
            connect(buttons, &QButtonGroup::idClicked, this, [this, group](int index) {
                ChooseOption(session_->sensor, group, index);
                ShowSettings(false);
                if (group == OptionGroup::Run) {
                    // The strip names the chosen mode at once. Set here too:
                    // a mode chosen back to the sensor's is no pending
                    // change, which ShowSettings leaves out.
                    session_->RunModeOption = index;
                    statusDisplay_->UpdateStatusStrip();
                }
            });
        }
    }
    for (int index = 0; index < NumberFieldCount; ++index) {
        if (NumberFields()[static_cast<std::size_t>(index)].spinMax == 0) {
            continue;
        }
        auto* spin = w.findChild<cUpDown*>(QStringLiteral("UpDown%1").arg(index + 2));
        auto* field = w.Control<QLineEdit>(QStringLiteral("txtData"), index);
        if (spin == nullptr) {
            continue;
        }
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
    connect(&s, &cSession::settingsLoaded, this, showAll);
    connect(&s, &cSession::loadFinished, this, showAll);
    connect(selection_.get(), &cSensorSelection::settingsEdited, this, showAll);
    connect(&w, &AsciiSensor::tabChanged, this, showAll);
}

void cApplication::BindCalibration() {
    cSession& s = *session_;
    AsciiSensor& w = *window_;
    auto* instructions = w.Control<QLabel>(QStringLiteral("lblCalibrate"));
    for (const CalibrationControl& controls : CalibrationControls) {
        const CalibrationField which = controls.field;
        auto* field = w.Control<QLineEdit>(QLatin1String(controls.name));
        w.SetKeyHandler(field, [this, which, field](QKeyEvent* event) {
            const bool tab = event->key() == Qt::Key_Tab;
            if (tab || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
                const QString text = field->text();
                session_->RunUserFlow(
                    [this, which, text] { session_->EnterCalibrationValue(which, text); });
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
        auto* upDown = w.Control<cUpDown>(QLatin1String(controls.upDown));
        for (const int step : {1, -1}) {
            connect(upDown, step > 0 ? &cUpDown::up : &cUpDown::down, &s, [&s, which, step] {
                s.RunUserFlow([&s, which, step] { s.StepCalibrationValue(which, step); });
            });
        }
    }
    for (const auto& [name, member] : {std::pair{"cmdAutoAdjust", &cSession::AutoZeroAdjust},
                                       {"cmdCalibrateSetTarget", &cSession::SetTargetToPosition},
                                       {"cmdMidPoint", &cSession::SetTargetToMidpoint}}) {
        // Copied by name: clang 14 cannot capture a structured binding.
        connect(w.Control<QAbstractButton>(QLatin1String(name)), &QAbstractButton::clicked, &s,
                [&s, action = member] { s.RunUserFlow([&s, action] { (s.*action)(); }); });
    }
    connect(&s, &cSession::calibrationChanged, this, [this] { ShowSettings(true); });
    connect(&w, &AsciiSensor::tabChanged, this, [&w](int index) {
        if (index == Tab::Calibration) {
            w.Control<QLineEdit>(QStringLiteral("txtAdjustValue"))->setFocus(Qt::OtherFocusReason);
        }
    });
    auto* calibrate = w.Control<QAction>(QStringLiteral("mnuCalibrate"));
    connect(calibrate, &QAction::triggered, this, [this, calibrate](bool on) {
        if (session_->RunUserFlow([this, on] { session_->SetCalibrationMode(on); })) {
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
    if (auto* calibrate = window_->findChild<QAction*>(QStringLiteral("mnuCalibrate"))) {
        calibrate->setVisible(state_.CalibrateVisible);
        calibrate->setChecked(state_.Calibrate);
    }
    if (auto* autoSearch = window_->findChild<QAction*>(QStringLiteral("mnuAutoSearch"))) {
        autoSearch->setChecked(state_.AutoSearch);
    }
    ShowLogOptions();
    {
        const QSignalBlocker quietTimeouts(
            window_->Control<QComboBox>(QStringLiteral("cboTimeout")));
        const QSignalBlocker quietIntervals(
            window_->Control<QComboBox>(QStringLiteral("cboPacketInterval")));
        window_->Control<QComboBox>(QStringLiteral("cboTimeout"))
            ->setCurrentIndex(session_->link.TimeoutPosition());
        window_->Control<QComboBox>(QStringLiteral("cboPacketInterval"))
            ->setCurrentIndex(session_->link.IntervalPosition());
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
    if (options_.simulate && session_->sensors.Count() == 0) {
        // A first look at the program without hardware opens on a live sensor.
        session_->RunUserFlow([this] { session_->FullScan(); });
        if (session_->link.StateFlags.TestBit(StateBit::DataLoaded)) {
            window_->SelectTab(Tab::Monitor);
        }
        session_->ShowCommStatus();
    }
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
