// Finding the serial ports and the sensors on them.

#include "operations/SearchFlow.h"

#include "link/Framing.h"
#include "model/Speeds.h"
#include "operations/Session.h"

namespace kelvar {

cSearchFlow::cSearchFlow(cSession& session) : session_(session) {}

void cSearchFlow::FindPorts() {
    auto& link = session_.link;
    auto& statusBar = session_.statusBar;
    link.StateFlags.ClearBit(StateBit::PortAvailable);
    link.AvailablePorts.Initialize();
    statusBar.StartProgress(1, MaxPortNumber, QStringLiteral("Searching for Comm Ports..."));
    for (int i = 0; i < PortOptionGroup::Size; ++i) {
        session_.PortOptions[i].enabled = false;
    }
    portFailures_.clear();
    for (int port = excludePort1_ ? 2 : 1; port <= MaxPortNumber; ++port) {
        statusBar.SetProgress(port);
        if (link.OpenPort(port, 0)) {
            link.ClosePort();
            session_.PortOptions[port - 1].enabled = true;
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
        session_.ChoosePortOption(link.AvailablePorts.FirstBit() - 1);
        session_.ChooseSpeedOption(0);
    }
    emit portOptionsChanged();
}

void cSearchFlow::ResetToNoSensor() {
    auto& link = session_.link;
    link.CurrentAddress = 1;
    link.CurrentPort = link.AvailablePorts.FirstBit();
    if (link.CurrentPort >= 1 && link.CurrentPort <= PortOptionGroup::Size) {
        session_.ChoosePortOption(link.CurrentPort - 1);
    }
    session_.ChooseSpeedOption(0);
    session_.statusBar.SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
}

void cSearchFlow::RecordFoundSensor(int port, int speedIndex, int address) {
    auto& sensors = session_.sensors;
    session_.PortOptions[port - 1].green = true;
    emit portOptionsChanged();
    const QString serial = session_.commands.ReadSerialNumber();
    sensors.setPort(static_cast<std::int16_t>(port));
    sensors.setBaudRate(static_cast<std::int16_t>(speedIndex));
    sensors.setAddress(static_cast<std::int16_t>(address));
    sensors.setSerial(serial);
    // A sensor found again keeps the name the user gave it.
    sensors.setSensorName(serial.isEmpty() ? QString() : knownNames_.value(serial));
    sensors.setActive(true);
    sensors.Add();
}

void cSearchFlow::SearchAddresses(int port, int speedIndex,
                                  const std::function<void(int)>& progress) {
    auto& link = session_.link;
    // Frames that came from an address while another was asked: a sensor
    // there answered, only after its time-out.
    const auto strays = [&link](int address) {
        const cLinkStatistics& statistics = link.Statistics(address);
        return statistics.lateAnswers + statistics.repeatedAnswers;
    };
    std::array<std::int64_t, MaxAddress + 1> straysBefore{};
    for (int address = MinAddress; address <= MaxAddress; ++address) {
        straysBefore[static_cast<std::size_t>(address)] = strays(address);
    }
    QList<int> found;
    const auto probe = [&](int address, bool retry) {
        if (session_.commands.CheckSensorAnswers(address, retry)) {
            link.CurrentAddress = address;
            RecordFoundSensor(port, speedIndex, address);
            found.append(address);
        }
    };
    for (int address = MinAddress; address <= MaxAddress && link.PortIsOpen(); ++address) {
        progress(address);
        probe(address, false);
    }
    // An empty address costs one time-out; one that showed a late sensor is
    // asked once more, with the retries of any other request.
    for (int address = MinAddress; address <= MaxAddress && link.PortIsOpen(); ++address) {
        if (!found.contains(address) &&
            strays(address) > straysBefore[static_cast<std::size_t>(address)]) {
            probe(address, true);
        }
    }
}

void cSearchFlow::ForgetSensors() {
    auto& sensors = session_.sensors;
    knownNames_.clear();
    for (int n = 1; n <= sensors.Count(); ++n) {
        sensors.setSensorNumber(n);
        if (!sensors.SensorName().isEmpty()) {
            knownNames_.insert(sensors.Serial(), sensors.SensorName());
        }
    }
    sensors.Clear();
    for (const int bit : {StateBit::OnLine, StateBit::DataLoaded, StateBit::CommOk}) {
        session_.link.StateFlags.ClearBit(bit);
    }
    session_.link.CurrentAddress = 0;
}

void cSearchFlow::OpenFoundSensor() {
    auto& sensors = session_.sensors;
    auto& link = session_.link;
    link.StateFlags.SetBit(StateBit::OnLine);
    link.CurrentAddress = sensors.Address();
    if (link.OpenPort(sensors.Port(), sensors.BaudRate())) {
        session_.read.LoadSensor(cReadFlow::ReloadCurrent);
    }
    session_.statusBar.SetStatusTexts(QStringLiteral("Ready"),
                                      QStringLiteral("Sensor ") + sensors.SensorText());
}

bool cSearchFlow::VerifySensorList() {
    auto& sensors = session_.sensors;
    bool result = sensors.Count() > 0;
    for (int i = 1; i <= sensors.Count(); ++i) {
        sensors.setSensorNumber(i);
        // A listed sensor is expected: one late or lost answer (with the
        // link's retries) must not mark it off line for the session.
        const bool answered = session_.link.OpenPort(sensors.Port(), sensors.BaudRate()) &&
                              session_.commands.CheckSensorAnswers(sensors.Address(), true);
        if (answered && sensors.Port() >= 1 && sensors.Port() <= PortOptionGroup::Size) {
            session_.PortOptions[sensors.Port() - 1].green = true;
        }
        result = result && answered;
        sensors.setActive(answered);
        sensors.Update();
    }
    session_.commands.TakeFailedRequests();
    emit portOptionsChanged();
    emit sensorsChanged();
    session_.view.SetTabEnabled(Tab::Graph, false);
    return result;
}

void cSearchFlow::ScanPort() {
    auto& link = session_.link;
    auto& statusBar = session_.statusBar;
    session_.monitor.Stop();
    statusBar.StartProgress(0, MaxAddress, QStringLiteral("Searching"));
    // A port that does not open has found nothing: the known list stays.
    if (!link.OpenPort(link.CurrentPort, link.BaudIndex)) {
        statusBar.EndProgress(QStringLiteral("Ready"));
        session_.SetCommLabel(link.PortErrorText(), true);
        link.RefreshStatus();
        return;
    }
    ForgetSensors();
    SearchAddresses(link.CurrentPort, link.BaudIndex,
                    [&statusBar](int address) { statusBar.SetProgress(address); });
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    session_.commands.TakeFailedRequests();
    statusBar.EndProgress(QStringLiteral("Ready"));
    if (session_.sensors.Count() > 0) {
        OpenFoundSensor();
    } else {
        link.StateFlags.ClearBit(StateBit::OnLine);
        session_.sensors.setSensorNumber(0);
        link.CurrentAddress = 0;
        statusBar.SetStatusTexts(QStringLiteral("Ready"), QStringLiteral("No Sensor"));
        link.CurrentPort = 0;
        link.BaudIndex = 0;
    }
    emit sensorsChanged();
    link.RefreshStatus();
}

void cSearchFlow::SearchEverySpeed(int port, const std::function<void()>& opened,
                                   const std::function<void(int)>& progress) {
    auto& link = session_.link;
    for (int speed = 0; speed < static_cast<int>(SpeedTable.size()); ++speed) {
        if (!link.OpenPort(port, speed)) {
            continue;
        }
        opened();
        SearchAddresses(port, speed, progress);
        link.StatusWord.SetBit(LinkBit::ResetCounters);
    }
}

void cSearchFlow::FullScan() {
    auto& sensors = session_.sensors;
    auto& link = session_.link;
    auto& statusBar = session_.statusBar;
    session_.monitor.Stop();
    link.StateFlags.SetBit(StateBit::FullScan);
    const int ports = link.AvailablePorts.Count();
    statusBar.StartProgress(0, ports * static_cast<int>(SpeedTable.size()) * MaxAddress,
                            QStringLiteral("Auto-search"));
    bool opened = false;
    int progress = 0;
    for (int port = MinPortNumber; port <= MaxPortNumber; ++port) {
        session_.PortOptions[port - 1].green = false;
        if (!link.AvailablePorts.TestBit(port)) {
            continue;
        }
        session_.ChoosePortOption(port - 1);
        SearchEverySpeed(
            port,
            [this, &opened] {
                // The known list goes only once a port could be searched.
                if (!opened) {
                    ForgetSensors();
                    opened = true;
                }
            },
            [&statusBar, &progress](int) { statusBar.SetProgress(++progress); });
    }
    session_.commands.TakeFailedRequests();
    emit portOptionsChanged();
    statusBar.EndProgress(QStringLiteral("Ready"));
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    if (!opened) {
        session_.SetCommLabel(link.PortErrorText().isEmpty()
                                  ? QStringLiteral("No Comm Port could be opened")
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

void cSearchFlow::CommApply() {
    auto& link = session_.link;
    session_.monitor.Stop();
    if (link.StateFlags.TestBit(StateBit::PortOpen)) {
        link.ClosePort();
    }
    link.CurrentPort = session_.PortOptions.Chosen() + 1;
    link.BaudIndex = std::max(0, session_.SpeedOptions.Chosen());
    link.CurrentAddress = 0;
    link.Decoder().ForgetStatusBytes();
    ScanPort();
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    const int tab = session_.view.VisibleTab();
    if (tab == Tab::Communications || tab == Tab::Monitor) {
        session_.monitor.Start();
    }
    session_.statusBar.SetMessage(QStringLiteral("Ready"));
    session_.ShowCommStatus();
    link.RefreshStatus();
}

} // namespace kelvar
