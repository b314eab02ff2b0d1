// Finding the serial ports and the sensors on them.

#include "link/Framing.h"
#include "model/Speeds.h"
#include "operations/Session.h"

namespace kelvar {

void cSession::FindPorts() {
    link.StateFlags.ClearBit(StateBit::PortAvailable);
    link.AvailablePorts.Initialize();
    statusBar.StartProgress(1, MaxPortNumber, QStringLiteral("Searching for Comm Ports..."));
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        PortOptions[i].enabled = false;
    }
    portFailures_.clear();
    for (int port = ExcludePort1 ? 2 : 1; port <= MaxPortNumber; ++port) {
        statusBar.SetProgress(port);
        if (link.OpenPort(port, 0)) {
            link.ClosePort();
            PortOptions[port - 1].enabled = true;
            link.AvailablePorts.SetBit(port);
        } else {
            link.AvailablePorts.ClearBit(port);
            // A port the user named, or one that is there but cannot be
            // used, deserves its reason; a number with no device does not.
            if (link.PortNames.explicitDevices().contains(port) ||
                !link.PortNames.deviceFor(port).isEmpty()) {
                portFailures_.append(
                    QStringLiteral("Comm %1: %2").arg(port).arg(link.PortErrorText()));
            }
        }
    }
    statusBar.EndProgress(QStringLiteral("Ready"));
    if (link.AvailablePorts.Map() != 0) {
        link.StateFlags.SetBit(StateBit::PortAvailable);
        ChoosePortOption(link.AvailablePorts.FirstBit() - 1);
        ChooseSpeedOption(0);
    }
    emit portOptionsChanged();
}

void cSession::ResetToNoSensor() {
    link.CurrentAddress = 1;
    link.CurrentPort = link.AvailablePorts.FirstBit();
    if (link.CurrentPort >= 1 && link.CurrentPort <= PortOptionGroup::Size) {
        ChoosePortOption(link.CurrentPort - 1);
    }
    ChooseSpeedOption(0);
    statusBar.SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
}

void cSession::RecordFoundSensor(int port, int speedIndex, int address) {
    PortOptions[port - 1].green = true;
    emit portOptionsChanged();
    const QString serial = commands.ReadSerialNumber();
    sensors.setPort(static_cast<std::int16_t>(port));
    sensors.setBaudRate(static_cast<std::int16_t>(speedIndex));
    sensors.setAddress(static_cast<std::int16_t>(address));
    sensors.setSerial(serial);
    // A sensor found again keeps the name the user gave it.
    sensors.setSensorName(serial.isEmpty() ? QString() : knownNames_.value(serial));
    sensors.setActive(true);
    sensors.Add();
}

void cSession::ForgetSensors() {
    knownNames_.clear();
    for (int n = 1; n <= sensors.Count(); ++n) {
        sensors.setSensorNumber(n);
        if (!sensors.SensorName().isEmpty()) {
            knownNames_.insert(sensors.Serial(), sensors.SensorName());
        }
    }
    sensors.Clear();
    for (const int bit : {StateBit::OnLine, StateBit::DataLoaded, StateBit::CommOk}) {
        link.StateFlags.ClearBit(bit);
    }
    link.CurrentAddress = 0;
}

void cSession::OpenFoundSensor() {
    link.StateFlags.SetBit(StateBit::OnLine);
    link.CurrentAddress = sensors.Address();
    if (link.OpenPort(sensors.Port(), sensors.BaudRate())) {
        LoadSensor(ReloadCurrent);
    }
    statusBar.SetStatusTexts(QStringLiteral("Ready"),
                             QStringLiteral("Sensor ") + sensors.SensorText());
}

bool cSession::VerifySensorList() {
    bool result = sensors.Count() > 0;
    for (int i = 1; i <= sensors.Count(); ++i) {
        sensors.setSensorNumber(i);
        const bool answered = link.OpenPort(sensors.Port(), sensors.BaudRate()) &&
                              commands.CheckSensorAnswers(sensors.Address());
        if (answered && sensors.Port() >= 1 && sensors.Port() <= PortOptionGroup::Size) {
            PortOptions[sensors.Port() - 1].green = true;
        }
        result = result && answered;
        sensors.setActive(answered);
        sensors.Update();
    }
    commands.TakeFailedRequests();
    emit portOptionsChanged();
    emit sensorsChanged();
    view.SetTabEnabled(Tab::Graph, false);
    return result;
}

void cSession::ScanPort() {
    StopMonitor();
    statusBar.StartProgress(0, MaxAddress, QStringLiteral("Searching"));
    // A port that does not open has found nothing: the known list stays.
    if (!link.OpenPort(link.CurrentPort, link.BaudIndex)) {
        statusBar.EndProgress(QStringLiteral("Ready"));
        SetCommLabel(link.PortErrorText(), true);
        link.RefreshStatus();
        return;
    }
    ForgetSensors();
    for (int address = MinAddress; address <= MaxAddress && link.PortIsOpen(); ++address) {
        statusBar.SetProgress(address);
        if (commands.CheckSensorAnswers(address)) {
            link.CurrentAddress = address;
            RecordFoundSensor(link.CurrentPort, link.BaudIndex, address);
        }
    }
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    commands.TakeFailedRequests();
    statusBar.EndProgress(QStringLiteral("Ready"));
    if (sensors.Count() > 0) {
        OpenFoundSensor();
    } else {
        link.StateFlags.ClearBit(StateBit::OnLine);
        sensors.setSensorNumber(0);
        link.CurrentAddress = 0;
        statusBar.SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
        link.CurrentPort = 0;
        link.BaudIndex = 0;
    }
    emit sensorsChanged();
    link.RefreshStatus();
}

void cSession::FullScan() {
    StopMonitor();
    link.StateFlags.SetBit(StateBit::FullScan);
    const int ports = link.AvailablePorts.Count();
    statusBar.StartProgress(0, ports * static_cast<int>(SpeedTable.size()) * MaxAddress,
                            QStringLiteral("Auto-search"));
    bool opened = false;
    int progress = 0;
    for (int port = MinPortNumber; port <= MaxPortNumber; ++port) {
        PortOptions[port - 1].green = false;
        if (!link.AvailablePorts.TestBit(port)) {
            continue;
        }
        ChoosePortOption(port - 1);
        for (int speed = 0; speed < static_cast<int>(SpeedTable.size()); ++speed) {
            if (!link.OpenPort(port, speed)) {
                continue;
            }
            // The known list goes only once a port could be searched.
            if (!opened) {
                ForgetSensors();
                opened = true;
            }
            for (int address = MinAddress; address <= MaxAddress && link.PortIsOpen(); ++address) {
                ++progress;
                link.CurrentAddress = address;
                if (commands.CheckSensorAnswers(address)) {
                    RecordFoundSensor(port, speed, address);
                }
                statusBar.SetProgress(progress);
            }
            link.StatusWord.SetBit(LinkBit::ResetCounters);
        }
    }
    commands.TakeFailedRequests();
    emit portOptionsChanged();
    statusBar.EndProgress(QStringLiteral("Ready"));
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    if (!opened) {
        SetCommLabel(link.PortErrorText().isEmpty() ? QStringLiteral("No Comm Port could be opened")
                                                    : link.PortErrorText(),
                     true);
    } else if (sensors.Count() > 0) {
        sensors.setSensorNumber(sensors.FirstActive());
        OpenFoundSensor();
    } else {
        link.StateFlags.ClearBit(StateBit::OnLine);
        ResetToNoSensor();
    }
    emit sensorsChanged();
    link.StateFlags.ClearBit(StateBit::FullScan);
    link.RefreshStatus();
}

void cSession::CommApply() {
    StopMonitor();
    if (link.StateFlags.TestBit(StateBit::PortOpen)) {
        link.ClosePort();
    }
    link.CurrentPort = PortOptions.Chosen() + 1;
    link.BaudIndex = std::max(0, SpeedOptions.Chosen());
    link.CurrentAddress = 0;
    link.Decoder().ForgetStatusBytes();
    ScanPort();
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    const int tab = view.VisibleTab();
    if (tab == Tab::Communications || tab == Tab::Monitor) {
        StartMonitor();
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
    ShowCommStatus();
    link.RefreshStatus();
}

} // namespace kelvar
