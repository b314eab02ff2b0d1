#include "operations/Selection.h"

#include "operations/StatusTexts.h"

#include "link/Framing.h"
#include "model/Errors.h"
#include "model/Parameters.h"
#include "operations/PortSetup.h"
#include "operations/Session.h"

#include <QScopedValueRollback>

namespace kelvar {

namespace {

using PairTexts = IndicatorTexts;

enum class Source { StateFlags, StatusWord, RunMode };

struct FieldRow {
    PairTexts texts;
    Source source;
    int bit;
};

constexpr std::array<FieldRow, cStatusDisplay::FieldCount> FieldRows = {{
    {{"COMM OK", "NO COMM", "Indicates the communications status with the sensor"},
     Source::StateFlags,
     StateBit::CommOk},
    {{"IN POSITON", "IN MOTION", "Indicates whether the sensor is In Position or In Motion"},
     Source::StatusWord,
     1},
    {{"INSIDE LIMITS", "OVERTRAVEL",
      "Indicates that current position is inside the sensor's limits "},
     Source::StatusWord,
     3},
    {{"NULL OK", "NULL BAD", "Indicates whether the sensor Null is OK or Bad"},
     Source::StatusWord,
     4},
    {{"ZEVIR OK", "ZEVIR BAD",
      "Indicates whether the sensor's Vudivozuve electronics is OK or Bad"},
     Source::StatusWord,
     0},
    {{"MOTION ENABLED", "MOTION DISABLED",
      "Indicates whether motion control is enabled or disabled"},
     Source::StatusWord,
     7},
    {{"INPUT 2 ON", "INPUT 2 OFF", "Indicates whether Input 2 is On or Off"},
     Source::StatusWord,
     13},
    {{"POSITION OK", "NEG POSITION", "Indicates the sensor's position is OK or negative"},
     Source::StatusWord,
     5},
    {{"ON-LINE", "OFF-LINE", "Indicates the status of the sensor"},
     Source::StateFlags,
     StateBit::DataLoaded},
    {{"", "", "Indicates the sensor's operational mode"}, Source::RunMode, 0},
}};

StatusIndicator MakeIndicator(const PairTexts& texts) {
    return {true, QString::fromLatin1(texts.on), QString::fromLatin1(texts.off),
            QString::fromLatin1(texts.toolTip)};
}

void CheckIndex(const char* what, int index, int count) {
    if (index < 0 || index >= count) {
        throw SubscriptOutOfRange(what, index, 0, count - 1);
    }
}

// "A5H (1010 0101)": the byte in hexadecimal without leading zeros, then
// its eight binary digits.
QString ByteText(std::int32_t byte, const QString& digits) {
    return QString::number(byte, 16).toUpper() + QStringLiteral("H (") + digits + u')';
}

QString ChangedSettingsTitle() {
    return QStringLiteral("Changed Sensor Settings");
}

} // namespace

QString RunModeText(int index) {
    if (index < 0 || index >= static_cast<int>(RunModeCaptions.size())) {
        return {};
    }
    if (index == IncrementRunMode) {
        return QStringLiteral("INC. MODE");
    }
    return QString::fromLatin1(RunModeCaptions[index]).toUpper() + QStringLiteral(" MODE");
}

bool StatusIndicator::Show(bool state) {
    if (state == good) {
        return false;
    }
    good = state;
    std::swap(caption, spare);
    return true;
}

// ------------------------------------------------------------ status display

cStatusDisplay::cStatusDisplay(cSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    for (int i = 0; i < LightCount; ++i) {
        lights_[i] = MakeIndicator(StatusBitTexts[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < FieldCount; ++i) {
        fields_[i] = MakeIndicator(FieldRows[i].texts);
    }
    connect(&session_.link, &cSensorLink::statusRefreshed, this,
            &cStatusDisplay::UpdateStatusDisplay);
}

void cStatusDisplay::UpdateStatusDisplay() {
    // While a power cycle is pending the panel holds still; the strip says
    // so, and still shows a sensor that does not answer.
    if (session_.sensor.CyclePowerFlag()) {
        UpdateStatusStrip();
        return;
    }
    const clsBitMap& word = session_.link.StatusWord;
    if (session_.view.VisibleTab() == Tab::Information && word.Map() != lastWordShown_) {
        unsigned changed = 0;
        for (int bit = 0; bit < LightCount; ++bit) {
            if (lights_[bit].Show(word.TestBit(bit))) {
                changed |= 1U << bit;
            }
        }
        statusByteText_ = ByteText(word.Map() & 0xFF, word.BinaryText(7, true));
        controlByteText_ = ByteText((word.Map() >> 8) & 0xFF, word.BinaryText(15, true).left(9));
        lastWordShown_ = word.Map();
        emit panelChanged(changed);
    }
    UpdateStatusStrip();
}

void cStatusDisplay::UpdateStatusStrip() {
    const auto& link = session_.link;
    unsigned changed = 0;
    for (int i = 0; i < RunModeField; ++i) {
        if (i == SensorStateField && loading_) {
            continue;
        }
        const FieldRow& row = FieldRows[i];
        const clsBitMap& word =
            row.source == Source::StateFlags ? link.StateFlags : link.StatusWord;
        if (fields_[i].Show(word.TestBit(row.bit))) {
            changed |= 1U << i;
        }
    }
    StatusIndicator& comm = fields_[0];
    QString& goodText = comm.good ? comm.caption : comm.spare;
    const QString wanted = session_.sensor.CyclePowerFlag()
                               ? QStringLiteral("POWER CYCLE PENDING")
                               : QString::fromLatin1(FieldRows[0].texts.on);
    if (goodText != wanted) {
        goodText = wanted;
        changed |= comm.good ? 1U : 0U;
    }
    if (session_.RunModeOption != lastRunMode_) {
        lastRunMode_ = session_.RunModeOption;
        fields_[RunModeField].caption = RunModeText(lastRunMode_);
        changed |= 1U << RunModeField;
    }
    if (changed != 0) {
        emit stripChanged(changed);
    }
}

void cStatusDisplay::BeginLoading() {
    loading_ = true;
    emit stripChanged(1U << SensorStateField);
}

void cStatusDisplay::EndLoading() {
    loading_ = false;
    emit stripChanged(1U << SensorStateField);
}

const StatusIndicator& cStatusDisplay::Light(int bit) const {
    CheckIndex("status light", bit, LightCount);
    return lights_[bit];
}

std::uint32_t cStatusDisplay::LightColour(int bit) const {
    return Light(bit).good ? StatusColour::Green : StatusColour::Red;
}

const StatusIndicator& cStatusDisplay::Field(int index) const {
    CheckIndex("status strip field", index, FieldCount);
    return fields_[index];
}

QString cStatusDisplay::FieldText(int index) const {
    const StatusIndicator& field = Field(index);
    return index == SensorStateField && loading_ ? QStringLiteral("LOADING DATA") : field.caption;
}

std::uint32_t cStatusDisplay::FieldColour(int index) const {
    const StatusIndicator& field = Field(index);
    if (index == SensorStateField && loading_) {
        return StatusColour::Blue;
    }
    return field.good ? StatusColour::DarkGreen : StatusColour::Red;
}

// ---------------------------------------------------------------- selection

bool IsAddressInUse(clsSensorList& sensors, int port, int baudRate, int address) {
    if (sensors.Count() <= 1) {
        return false;
    }
    const int current = sensors.SensorNumber();
    bool inUse = false;
    for (int n = 1; n <= sensors.Count() && !inUse; ++n) {
        sensors.setSensorNumber(n);
        inUse = sensors.Port() == port && sensors.BaudRate() == baudRate &&
                sensors.Address() == address;
    }
    sensors.setSensorNumber(current);
    return inUse;
}

QString cSensorSelection::NameCautionText() {
    return QStringLiteral("The name for this sensor is stored  in the registry of this computer. "
                          "It is not stored in the sensor and will only be available with this "
                          "program, on this computer.");
}

QString cSensorSelection::NameHint() {
    return QStringLiteral("Examples: Right Knee Cylinder, Axis 1");
}

QString cSensorSelection::NameEditingHint() {
    return QStringLiteral("Press <ENTER> or <TAB> when done.");
}

cSensorSelection::cSensorSelection(cSession& session, std::function<void()> saveSettings,
                                   QObject* parent)
    : QObject(parent), session_(session), saveSettings_(std::move(saveSettings)),
      nameHint_(NameHint()) {
    connect(&session_, &cSession::sensorsChanged, this, &cSensorSelection::FillSensorSelector);
}

void cSensorSelection::FillSensorSelector() {
    auto& sensors = session_.sensors;
    const int count = sensors.Count();
    SensorSelectorState state;
    if (count == 0) {
        state.entries.append(QStringLiteral("No Sensor"));
        state.frameCaption = QStringLiteral(" Sensor Select (No Sensors) ");
    } else {
        // The sensor being worked with stays current: a search leaves the one
        // it loaded current, and the selector must name that one.
        const int current = std::max<int>(1, sensors.SensorNumber());
        for (int n = 1; n <= count; ++n) {
            sensors.setSensorNumber(n);
            state.entries.append(QStringLiteral(" #%1 (%2)").arg(n).arg(sensors.Serial()) +
                                 (sensors.Active() ? QStringLiteral(" On-Line")
                                                   : QStringLiteral(" ** Off-Line **")));
        }
        sensors.setSensorNumber(current);
        state.selected = current - 1;
        state.enabled = count > 1;
        state.frameCaption = count == 1 ? QStringLiteral(" Sensor Select (1 Sensor) ")
                                        : QStringLiteral(" Sensor Select (%1 Sensors) ").arg(count);
    }
    state.sensorLabel = QStringLiteral("Network Address: %1").arg(sensors.Address());
    selector_ = state;
    emit selectorChanged();
}

void cSensorSelection::SelectSensor(int index) {
    auto& sensors = session_.sensors;
    auto& link = session_.link;
    const int chosen = index + 1;
    // Selecting an entry from here fires the handler again; so do clicks
    // while a switch waits for the sensor.
    if (switching_ || !FormReady || sensors.ActiveCount() < 1 || index < 0 ||
        chosen > sensors.Count() || link.StateFlags.TestBit(StateBit::FullScan) ||
        chosen == sensors.SensorNumber()) {
        return;
    }
    const QScopedValueRollback<bool> busy(switching_, true);
    const int previous = sensors.SensorNumber();
    if (saveSettings_) {
        saveSettings_();
        sensors.setSensorNumber(previous);
    }
    const clsSensorData& sensor = session_.sensor;
    if (sensor.DataIsLoaded() && !sensor.CyclePowerFlag()) {
        SwitchTo(chosen, previous);
    }
    // A refused switch leaves the selector on the sensor that is still shown.
    ShowCurrentSelected();
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
}

void cSensorSelection::SwitchTo(int chosen, int previous) {
    auto& sensors = session_.sensors;
    const bool monitoring = session_.MonitorRunning();
    session_.StopMonitor();
    if (session_.sensor.TestForChangedData()) {
        const QString question =
            QStringLiteral("Changes made to Sensor %1\r\nhave NOT been applied to \r\nthe "
                           "sensor.\r\n\r\nAll changes made to Sensor %1\r\nwill be lost if you "
                           "continue.\r\n\r\nContinue Anyway?")
                .arg(session_.link.CurrentAddress);
        if (session_.view.Ask(ChangedSettingsTitle(), question.toUpper(), MessageIcon::Critical,
                              MessageButtons::YesNo) != MessageAnswer::Yes) {
            if (monitoring) {
                session_.StartMonitor();
            }
            return;
        }
    }

    sensors.setSensorNumber(chosen);
    const Reach reach = ReachCurrentSensor();
    if (reach == Reach::Answered) {
        if (!sensors.Active()) {
            sensors.setActive(true);
            sensors.Update();
            FillSensorSelector();
        }
        ConnectCurrentSensor();
    } else if (reach == Reach::Silent || !sensors.Active()) {
        session_.view.Ask(ChangedSettingsTitle(),
                          (QStringLiteral("Unable to establish communications \r\nwith sensor ") +
                           sensors.SensorText() +
                           QStringLiteral("\r\nRestoring to previous sensor.\r\n\r\n"))
                              .toUpper(),
                          MessageIcon::Critical, MessageButtons::Ok);
        RestorePrevious(previous);
    }
    // An active sensor whose port cannot be opened stays chosen, unread.
}

cSensorSelection::Reach cSensorSelection::ReachCurrentSensor() {
    const auto& sensors = session_.sensors;
    if (!session_.link.OpenPort(sensors.Port(), sensors.BaudRate())) {
        return Reach::PortClosed;
    }
    return session_.commands.CheckSensorAnswers(sensors.Address()) ? Reach::Answered
                                                                   : Reach::Silent;
}

void cSensorSelection::ConnectCurrentSensor() {
    auto& link = session_.link;
    const auto& sensors = session_.sensors;
    link.StateFlags.SetBit(StateBit::OnLine);
    link.CurrentAddress = sensors.Address();
    selector_.sensorLabel = QStringLiteral("Network Address: %1").arg(link.CurrentAddress);
    emit selectorChanged();
    session_.LoadSensor(cSession::ReloadCurrent);
    session_.statusBar.SetStatusTexts(QStringLiteral("Ready"),
                                      QStringLiteral("Sensor ") + sensors.SensorText());
}

void cSensorSelection::RestorePrevious(int previous) {
    session_.sensors.setSensorNumber(previous);
    ShowCurrentSelected();
    if (ReachCurrentSensor() == Reach::Answered) {
        ConnectCurrentSensor();
    } else {
        ResetToNoSensor(session_.link, session_.statusBar);
    }
}

void cSensorSelection::ShowCurrentSelected() {
    selector_.selected = std::max(0, session_.sensors.SensorNumber() - 1);
    emit selectorChanged();
}

void cSensorSelection::SelectAddress(int index) {
    clsSensorData& sensor = session_.sensor;
    const auto& link = session_.link;
    const int chosen = index + 1;
    if (!sensor.DataIsLoaded() || chosen < MinAddress || chosen > MaxAddress) {
        return;
    }
    sensor.setParameter(Param::Address);
    const int current = link.CurrentAddress;
    if (chosen != current &&
        IsAddressInUse(session_.sensors, link.CurrentPort, link.BaudIndex, chosen)) {
        session_.view.Ask(QStringLiteral("Incorrect Sensor Address"),
                          QStringLiteral("Sensor Address %1\r\nis already in use by \r\nanother "
                                         "sensor.\r\n\r\nPlease select another \r\naddress for "
                                         "this sensor.")
                              .arg(chosen)
                              .toUpper(),
                          MessageIcon::Critical, MessageButtons::Ok);
        emit addressSelected(current - 1);
        sensor.setChangedData(current);
    } else {
        sensor.setChangedData(chosen);
    }
    emit settingsEdited();
}

void cSensorSelection::BeginNameEdit() {
    SetNameHint(NameEditingHint());
}

void cSensorSelection::StoreSensorName(const QString& text) {
    auto& sensors = session_.sensors;
    // Row 0 is the list's placeholder, not a sensor to name.
    if (sensors.SensorNumber() < 1) {
        return;
    }
    sensors.setSensorName(text.trimmed());
    sensors.Update();
}

void cSensorSelection::EndNameEdit(const QString& text) {
    StoreSensorName(text);
    SetNameHint(NameHint());
}

void cSensorSelection::SetNameHint(const QString& hint) {
    nameHint_ = hint;
    emit nameHintChanged();
}

} // namespace kelvar
