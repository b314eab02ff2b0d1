#include "operations/Selection.h"

#include "operations/StatusTexts.h"

#include "link/Framing.h"
#include "model/Errors.h"
#include "model/Parameters.h"
#include "operations/Session.h"

#include <QScopedValueRollback>

namespace kelvar {

namespace {

QString ChangedSettingsTitle() {
    return QStringLiteral("Changed Sensor Settings");
}

} // namespace

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
    connect(&session_.search, &cSearchFlow::sensorsChanged, this,
            &cSensorSelection::FillSensorSelector);
    // A switch fills the selector once it has ended.
    connect(&session_, &cSession::sensorStateKnownChanged, this, [this] {
        if (!switching_) {
            FillSensorSelector();
        }
    });
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
            // The current sensor is on line only while it answers.
            const bool onLine = sensors.Active() && (n != current || session_.SensorStateKnown());
            state.entries.append(
                QStringLiteral(" #%1 (%2)").arg(n).arg(sensors.Serial()) +
                (onLine ? QStringLiteral(" On-Line") : QStringLiteral(" ** Off-Line **")));
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
    FillSensorSelector();
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
}

void cSensorSelection::SwitchTo(int chosen, int previous) {
    auto& sensors = session_.sensors;
    const bool monitoring = session_.monitor.Running();
    session_.monitor.Stop();
    if (session_.sensor.TestForChangedData()) {
        const QString question =
            QStringLiteral("Changes made to Sensor %1\r\nhave NOT been applied to \r\nthe "
                           "sensor.\r\n\r\nAll changes made to Sensor %1\r\nwill be lost if you "
                           "continue.\r\n\r\nContinue Anyway?")
                .arg(session_.link.CurrentAddress);
        if (session_.view.Ask(ChangedSettingsTitle(), question.toUpper(), MessageIcon::Critical,
                              MessageButtons::YesNo) != MessageAnswer::Yes) {
            if (monitoring) {
                session_.monitor.Start();
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
    session_.read.LoadSensor(cReadFlow::ReloadCurrent);
    session_.statusBar.SetStatusTexts(QStringLiteral("Ready"),
                                      QStringLiteral("Sensor ") + sensors.SensorText());
}

void cSensorSelection::RestorePrevious(int previous) {
    session_.sensors.setSensorNumber(previous);
    ShowCurrentSelected();
    if (ReachCurrentSensor() == Reach::Answered) {
        ConnectCurrentSensor();
    } else {
        session_.search.ResetToNoSensor();
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
