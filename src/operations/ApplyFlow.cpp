// Writing the pending edits to the sensor.

#include "operations/ApplyFlow.h"

#include "link/Framing.h"
#include "model/Limits.h"
#include "model/Parameters.h"
#include "model/Speeds.h"
#include "operations/Selection.h"
#include "operations/Session.h"

namespace kelvar {

cApplyFlow::cApplyFlow(cSession& session) : session_(session) {}

void cApplyFlow::RefreshApplyState() {
    clsSensorData& sensor = session_.sensor;
    emit applyEnabledChanged(sensor.DataIsLoaded() && sensor.TestForChangedData());
}

WritePlan cApplyFlow::PendingWrites() {
    return PlanWrites(session_.sensor, session_.read.UnreadParameters(),
                      session_.read.UnreadSetpoints());
}

bool cApplyFlow::PortFailed() const {
    return !session_.link.PortIsOpen();
}

std::optional<cApplyFlow::Unconfirmed> cApplyFlow::WritePlanned(const PlannedWrite& write) {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    if (!write.WillBeWritten()) {
        link.FlagRefusedRequest();
        return Unconfirmed{write, QStringLiteral("not written: ") + write.refusal};
    }
    const auto echo = write.parameter >= 0
                          ? commands.WriteParameter(write.parameter, write.value)
                          : commands.WriteSetpoint(write.setpoint, write.field, write.value);
    // A write is confirmed only by the sensor echoing what was sent.
    if (echo.answered() && echo.value == write.value) {
        if (write.parameter < 0) {
            sensor.WriteSetpointData(write.setpoint, write.field, write.value);
        }
        return std::nullopt;
    }
    link.FlagRefusedRequest();
    return Unconfirmed{write, echo.answered() ? QStringLiteral("sensor holds ") +
                                                    PlannedValueText(sensor, write, echo.value)
                                              : QStringLiteral("no answer")};
}

void cApplyFlow::WriteChanges(const WritePlan& plan) {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    cStatusBar& statusBar = session_.statusBar;
    unconfirmed_.clear();
    if (!sensor.DataIsLoaded()) {
        return;
    }
    commands.TakeFailedRequests();
    commands.EnsureMode5();
    const auto write = [this](const PlannedWrite& planned) {
        if (auto failed = WritePlanned(planned)) {
            unconfirmed_.append(*failed);
        }
    };
    const int last = sensor.MaxParameters();
    statusBar.StartProgress(0, last, QStringLiteral("Writing Parameters..."));
    for (int r = 0; r <= last && link.PortIsOpen(); ++r) {
        statusBar.SetProgress(r);
        // Register 0 holds no parameter; the record's rows start at 1.
        const int row = std::max(r, 1);
        if (!IsWritableParameter(sensor, row)) {
            continue;
        }
        for (const PlannedWrite& planned : plan) {
            if (planned.parameter == row) {
                write(planned);
            }
        }
        commands.PollPosition();
    }

    statusBar.StartProgress(0, sensor.MaxSetpoints(), QStringLiteral("Writing Setpoints..."));
    for (const PlannedWrite& planned : plan) {
        if (planned.setpoint < 0 || !link.PortIsOpen()) {
            continue;
        }
        statusBar.SetProgress(planned.setpoint);
        write(planned);
    }
    if (link.PortIsOpen() && !commands.StoppedAnswering()) {
        WriteDoubtedAgain(plan);
    }
    applyAdvice_ = commands.FailureAdvice(link.CurrentAddress);
    commands.TakeFailedRequests();
    RefreshApplyState();
    statusBar.EndProgress(QStringLiteral("Ready"));
}

void cApplyFlow::WriteDoubtedAgain(const WritePlan& plan) {
    cCommands& commands = session_.commands;
    // An echo that a stray frame put in doubt confirms nothing: the value is
    // written again (a write sets a value, so this is safe), each echo taken
    // only once the line is quiet after it.
    commands.Settle();
    const cSensorLink::SettledAnswers settled(session_.link);
    const auto again = [this, &plan](const auto& matches) {
        for (const PlannedWrite& planned : plan) {
            if (matches(planned)) {
                unconfirmed_.removeIf(
                    [&planned](const Unconfirmed& u) { return u.write.item == planned.item; });
                if (auto failed = WritePlanned(planned)) {
                    unconfirmed_.append(*failed);
                }
            }
        }
    };
    for (const QByteArray& command : commands.TakeDoubted('L')) {
        const int row = HexToLong(command.mid(1, 3), false);
        again([row](const PlannedWrite& p) { return p.parameter == row; });
    }
    for (const QByteArray& command : commands.TakeDoubted('Q')) {
        const int s = HexToLong(command.mid(2, 2), false);
        const int f = command.at(1) - '0';
        again([s, f](const PlannedWrite& p) { return p.setpoint == s && p.field == f; });
    }
}

QString cApplyFlow::AddressConflict() {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    const std::int32_t address =
        sensor.ReadParameterData(Param::Address, clsSensorData::ChangedDataColumn);
    if (!sensor.DataIsLoaded() || address == link.CurrentAddress || address < MinAddress ||
        address > MaxAddress) {
        return {};
    }
    // Two sensors at one address garble each other's answers: the list may
    // not know the other one, so the line is asked.
    const bool listed = IsAddressInUse(session_.sensors, link.CurrentPort, link.BaudIndex, address);
    const bool answers = !listed && commands.CheckSensorAnswers(address);
    commands.TakeFailedRequests();
    if (!listed && !answers) {
        return {};
    }
    return QStringLiteral("Another sensor already answers at address %1 on %2; sensor %3 "
                          "cannot be given that address.")
        .arg(address)
        .arg(link.PortDescription())
        .arg(link.CurrentAddress);
}

bool cApplyFlow::ReviewWrites(const WritePlan& plan, const QString& sensor) {
    QStringList lines;
    for (const PlannedWrite& write : plan) {
        lines.append(write.Text());
    }
    return session_.view.Ask(QStringLiteral("Review Changes"),
                             QStringLiteral("Apply writes these values to sensor %1 (name: held "
                                            "-> new):\r\n\r\n")
                                     .arg(sensor) +
                                 lines.join(QStringLiteral("\r\n")),
                             MessageIcon::Information,
                             MessageButtons::OkCancel) == MessageAnswer::Ok;
}

std::optional<WritePlan> cApplyFlow::ConfirmWrites() {
    cView& view = session_.view;
    if (!ConfirmIncompleteRead(QStringLiteral("Sensor Read Incomplete"), QStringLiteral("Apply"))) {
        return std::nullopt;
    }
    WritePlan plan = PendingWrites();
    if (plan.isEmpty()) {
        return plan;
    }
    if (!ReviewWrites(plan, QString::number(session_.link.CurrentAddress))) {
        return std::nullopt;
    }
    if (const QString conflict = AddressConflict(); !conflict.isEmpty()) {
        view.Ask(QStringLiteral("Incorrect Sensor Address"),
                 conflict + QStringLiteral("\r\nNothing was written; choose another address."),
                 MessageIcon::Critical, MessageButtons::Ok);
        return std::nullopt;
    }
    return plan;
}

void cApplyFlow::Apply() {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    clsSensorList& sensors = session_.sensors;
    cCommands& commands = session_.commands;
    cStatusBar& statusBar = session_.statusBar;
    cView& view = session_.view;
    const std::optional<WritePlan> plan = ConfirmWrites();
    if (!plan) {
        return;
    }
    statusBar.SetMessage(QStringLiteral("Sending Data to Sensor"));
    session_.monitor.Stop();
    WriteChanges(*plan);
    const QList<Unconfirmed> unconfirmed = unconfirmed_;
    const auto confirmed = [&unconfirmed](int parameter) {
        return std::none_of(
            unconfirmed.begin(), unconfirmed.end(),
            [parameter](const Unconfirmed& u) { return u.write.parameter == parameter; });
    };
    // Only a change the sensor took needs its power cycled.
    const bool cyclePower = std::any_of(plan->begin(), plan->end(), [&](const PlannedWrite& w) {
        return !w.powerCycle.isEmpty() && confirmed(w.parameter);
    });

    if (!link.PortIsOpen()) {
        // Nothing more can be written or read.
        link.StateFlags.ClearBit(StateBit::OnLine);
        view.Ask(QStringLiteral("Apply Stopped"),
                 QStringLiteral("Writing to the sensor stopped: %1.\r\nWhat was not written yet "
                                "is still pending; open the port again and press Apply.")
                     .arg(link.PortErrorText()),
                 MessageIcon::Exclamation, MessageButtons::Ok);
        view.SelectTab(Tab::Communications);
    } else if (cyclePower) {
        view.Ask(QStringLiteral("Changed Sensor Settings"),
                 QStringLiteral("One or more changes to the sensor\r\n"
                                "settings require power to the Actimar\r\n"
                                "to be cycled before the new\r\n"
                                "settings will take effect.\r\n\r\n"
                                "Click 'OK' when power has been cycled."),
                 MessageIcon::None, MessageButtons::Ok);
        // Follow a new address or speed only when the sensor took it.
        const auto column = [&](int parameter) {
            return confirmed(parameter) ? 1 : 0;
        };
        link.CurrentAddress = sensor.ReadParameterData(Param::Address, column(Param::Address));
        const int speed = SpeedIndexOfBaudCode(
            sensor.ReadParameterData(Param::BaudRate, column(Param::BaudRate)));
        if (speed != sensors.BaudRate()) {
            const auto answer =
                view.Ask(QStringLiteral("Changed Sensor Baud Rate"),
                         QStringLiteral("The sensor communications baud rate \r\n"
                                        "has changed.  Would you like to \r\n"
                                        "auto-confgure the communications\r\n"
                                        "port to match the sensor baud rate?\r\n\r\n"
                                        "Click 'Yes' to auto configure the port.\r\n"
                                        "Click 'No' to configure the port manually.\r\n"),
                         MessageIcon::None, MessageButtons::YesNo);
            if (answer == MessageAnswer::Yes) {
                sensors.setBaudRate(static_cast<std::int16_t>(speed));
                sensors.Update();
            } else {
                view.SelectTab(Tab::Communications);
            }
            if (link.OpenPort(sensors.Port(), sensors.BaudRate()) &&
                commands.CheckSensorAnswers(link.CurrentAddress)) {
                link.StateFlags.SetBit(StateBit::OnLine);
                sensors.setAddress(static_cast<std::int16_t>(link.CurrentAddress));
                sensors.Update();
                session_.read.LoadSensor(cReadFlow::ReloadCurrent);
            } else {
                link.StateFlags.ClearBit(StateBit::OnLine);
                view.SelectTab(Tab::Communications);
            }
            commands.TakeFailedRequests();
        } else {
            session_.read.LoadSensor(cReadFlow::ReloadCurrent);
            // The list follows the sensor to a new address, or the next start
            // would look for it where it no longer is.
            if (session_.read.ReadComplete() && sensors.Address() != link.CurrentAddress) {
                sensors.setAddress(static_cast<std::int16_t>(link.CurrentAddress));
                sensors.Update();
                emit session_.search.sensorsChanged();
            }
        }
    } else {
        session_.read.LoadSensor(cReadFlow::ReloadCurrent);
    }

    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    if (!unconfirmed.isEmpty()) {
        // The counters were just zeroed: the write error stays on show.
        link.FlagRefusedRequest();
        QStringList lines;
        for (const Unconfirmed& u : unconfirmed) {
            lines.append(u.Text());
        }
        view.Ask(QStringLiteral("Changes Not Confirmed"),
                 QStringLiteral("The sensor did not confirm %1 of the changes:\r\n\r\n")
                         .arg(unconfirmed.size()) +
                     lines.join(QStringLiteral("\r\n")) +
                     (applyAdvice_.isEmpty() ? QString()
                                             : QStringLiteral("\r\n\r\n") + applyAdvice_ + u'.'),
                 MessageIcon::Exclamation, MessageButtons::Ok);
    }
    unconfirmed_ = unconfirmed;
    if (view.VisibleTab() == Tab::Monitor) {
        session_.monitor.Start();
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
}

bool cApplyFlow::ConfirmIncompleteRead(const QString& title, const QString& doing) {
    if (!session_.read.RequireSensor(title)) {
        return false;
    }
    if (session_.read.ReadComplete() || !session_.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return true;
    }
    return session_.view.Ask(title,
                             session_.read.ReadFailureText() +
                                 QStringLiteral("\r\n\r\nThe values that were not read are 0 "
                                                "here, not what the sensor holds. %1 anyway?")
                                     .arg(doing),
                             MessageIcon::Exclamation,
                             MessageButtons::OkCancel) == MessageAnswer::Ok;
}

} // namespace kelvar
