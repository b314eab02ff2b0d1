// Writing the pending edits to the sensor.

#include "link/Framing.h"
#include "model/Limits.h"
#include "model/Parameters.h"
#include "model/Speeds.h"
#include "operations/Selection.h"
#include "operations/Session.h"

namespace kelvar {

void cSession::RefreshApplyState() {
    emit applyEnabledChanged(sensor.DataIsLoaded() && sensor.TestForChangedData());
}

namespace {

QString OutsideLimits(std::int32_t value, const ValueLimits& limits) {
    return limits.Contains(value) ? QString()
                                  : QStringLiteral("outside its limits %1").arg(LimitsText(limits));
}

// Why a pending setpoint cannot be written: the first of its fields outside
// its limits; empty when all three are within them.
QString SetpointRefusal(clsSensorData& sensor, int s) {
    for (int f = 0; f < 3; ++f) {
        const QString outside =
            OutsideLimits(sensor.ReadSetpointData(s, f + 3), SetpointLimits(sensor, f));
        if (!outside.isEmpty()) {
            return QStringLiteral("its %1 is %2").arg(SetpointFieldName(f), outside);
        }
    }
    return {};
}

QString SetpointItem(int s, int f) {
    return QStringLiteral("Setpoint %1 %2").arg(SetpointNumber(s)).arg(SetpointFieldName(f));
}

} // namespace

QString cSession::PlannedWrite::Text() const {
    QString text = QStringLiteral("%1: %2 %3")
                       .arg(item, heldUnread ? QStringLiteral("(not read)") : QString::number(held))
                       .arg(value);
    if (marked) {
        text += QStringLiteral("  <- changes how the sensor is reached or runs");
    }
    if (!refusal.isEmpty()) {
        text += QStringLiteral("  (will not be written: %1)").arg(refusal);
    }
    return text;
}

QList<cSession::PlannedWrite> cSession::PendingWrites() {
    const QSet<int> unreadParameters = UnreadParameters();
    const QSet<int> unreadSetpoints = UnreadSetpoints();
    QList<PlannedWrite> plan;
    for (int r = 1; r <= sensor.MaxParameters(); ++r) {
        const std::int32_t held = sensor.ReadParameterData(r, clsSensorData::SensorDataColumn);
        const std::int32_t value = sensor.ReadParameterData(r, clsSensorData::ChangedDataColumn);
        if (IsWritableParameter(sensor, r) && held != value) {
            plan.append({sensor.ReadParameterName(r, 0).trimmed(), held, value,
                         unreadParameters.contains(r), IsMarkedParameter(r),
                         OutsideLimits(value, ParameterLimits(sensor, r))});
        }
    }
    for (int s = 0; s <= sensor.MaxSetpoints(); ++s) {
        if (!SetpointPending(sensor, s)) {
            continue;
        }
        const QString refusal = SetpointRefusal(sensor, s);
        for (int f = 0; f < 3; ++f) {
            const std::int32_t held = sensor.ReadSetpointData(s, f);
            const std::int32_t value = sensor.ReadSetpointData(s, f + 3);
            if (held != value) {
                plan.append(
                    {SetpointItem(s, f), held, value, unreadSetpoints.contains(s), false, refusal});
            }
        }
    }
    return plan;
}

std::optional<cSession::Unconfirmed> cSession::WriteParameterRow(int row) {
    const std::int32_t value = sensor.ReadParameterData(row, clsSensorData::ChangedDataColumn);
    const QString name = sensor.ReadParameterName(row, 0).trimmed();
    if (const QString outside = OutsideLimits(value, ParameterLimits(sensor, row));
        !outside.isEmpty()) {
        link.FlagRefusedRequest();
        return Unconfirmed{name, value, QStringLiteral("not written: ") + outside, row};
    }
    const auto write = commands.WriteParameter(row);
    // A write is confirmed only by the sensor echoing what was sent.
    if (write.answered() && write.value == write.sent) {
        return std::nullopt;
    }
    link.FlagRefusedRequest();
    return Unconfirmed{name, value,
                       write.answered() ? QStringLiteral("sensor holds %1").arg(write.value)
                                        : QStringLiteral("no answer"),
                       row};
}

std::optional<cSession::Unconfirmed> cSession::WriteSetpointField(int s, int f) {
    const std::int32_t value = sensor.ReadSetpointData(s, f + 3);
    const auto write = commands.WriteSetpoint(s, f, value);
    if (write.answered() && write.value == value) {
        sensor.WriteSetpointData(s, f, value);
        return std::nullopt;
    }
    link.FlagRefusedRequest();
    return Unconfirmed{SetpointItem(s, f), value,
                       write.answered() ? QStringLiteral("sensor holds %1").arg(write.value)
                                        : QStringLiteral("no answer")};
}

void cSession::WriteChanges() {
    unconfirmed_.clear();
    if (!sensor.DataIsLoaded()) {
        return;
    }
    commands.TakeFailedRequests();
    commands.EnsureMode5();
    const int last = sensor.MaxParameters();
    statusBar.StartProgress(0, last, QStringLiteral("Writing Parameters..."));
    for (int r = 0; r <= last && link.PortIsOpen(); ++r) {
        statusBar.SetProgress(r);
        // Register 0 holds no parameter; the record's rows start at 1.
        const int row = std::max(r, 1);
        if (!IsWritableParameter(sensor, row)) {
            continue;
        }
        if (sensor.ReadParameterData(row, clsSensorData::ChangedDataColumn) !=
            sensor.ReadParameterData(row, clsSensorData::SensorDataColumn)) {
            if (auto failed = WriteParameterRow(row)) {
                unconfirmed_.append(*failed);
            }
        }
        commands.PollPosition();
    }

    const int setpoints = sensor.MaxSetpoints();
    statusBar.StartProgress(0, setpoints, QStringLiteral("Writing Setpoints..."));
    for (int s = 0; s <= setpoints && link.PortIsOpen(); ++s) {
        statusBar.SetProgress(s);
        // A setpoint is written whole: all three of its fields, or none.
        if (!SetpointPending(sensor, s)) {
            continue;
        }
        if (const QString refusal = SetpointRefusal(sensor, s); !refusal.isEmpty()) {
            link.FlagRefusedRequest();
            for (int f = 0; f < 3; ++f) {
                unconfirmed_.append({SetpointItem(s, f), sensor.ReadSetpointData(s, f + 3),
                                     QStringLiteral("not written: ") + refusal});
            }
            continue;
        }
        for (int f = 0; f < 3 && link.PortIsOpen(); ++f) {
            if (auto failed = WriteSetpointField(s, f)) {
                unconfirmed_.append(*failed);
            }
        }
    }
    if (link.PortIsOpen() && !commands.StoppedAnswering()) {
        WriteDoubtedAgain();
    }
    applyAdvice_ = commands.FailureAdvice(link.CurrentAddress);
    commands.TakeFailedRequests();
    RefreshApplyState();
    statusBar.EndProgress(QStringLiteral("Ready"));
}

void cSession::WriteDoubtedAgain() {
    // An echo that a stray frame put in doubt confirms nothing: the value is
    // written again (a write sets a value, so this is safe), each echo taken
    // only once the line is quiet after it.
    commands.Settle();
    const cSensorLink::SettledAnswers settled(link);
    const auto again = [this](const QString& item, std::optional<Unconfirmed> result) {
        unconfirmed_.removeIf([&item](const Unconfirmed& u) { return u.item == item; });
        if (result) {
            unconfirmed_.append(*result);
        }
    };
    for (const QByteArray& command : commands.TakeDoubted('L')) {
        const int row = HexToLong(command.mid(1, 3), false);
        again(sensor.ReadParameterName(row, 0).trimmed(), WriteParameterRow(row));
    }
    for (const QByteArray& command : commands.TakeDoubted('Q')) {
        const int s = HexToLong(command.mid(2, 2), false);
        const int f = command.at(1) - '0';
        again(SetpointItem(s, f), WriteSetpointField(s, f));
    }
}

QString cSession::AddressConflict() {
    const std::int32_t address =
        sensor.ReadParameterData(Param::Address, clsSensorData::ChangedDataColumn);
    if (!sensor.DataIsLoaded() || address == link.CurrentAddress || address < MinAddress ||
        address > MaxAddress) {
        return {};
    }
    // Two sensors at one address garble each other's answers: the list may
    // not know the other one, so the line is asked.
    const bool listed = IsAddressInUse(sensors, link.CurrentPort, link.BaudIndex, address);
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

bool cSession::ConfirmWrites() {
    if (!ConfirmIncompleteRead(QStringLiteral("Sensor Read Incomplete"), QStringLiteral("Apply"))) {
        return false;
    }
    const QList<PlannedWrite> plan = PendingWrites();
    if (plan.isEmpty()) {
        return true;
    }
    QStringList lines;
    for (const PlannedWrite& write : plan) {
        lines.append(write.Text());
    }
    if (view.Ask(QStringLiteral("Review Changes"),
                 QStringLiteral("Apply writes these values to sensor %1 (name: held, new):\r\n\r\n")
                         .arg(link.CurrentAddress) +
                     lines.join(QStringLiteral("\r\n")),
                 MessageIcon::Information, MessageButtons::OkCancel) != MessageAnswer::Ok) {
        return false;
    }
    if (const QString conflict = AddressConflict(); !conflict.isEmpty()) {
        view.Ask(QStringLiteral("Incorrect Sensor Address"),
                 conflict + QStringLiteral("\r\nNothing was written; choose another address."),
                 MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    return true;
}

void cSession::Apply() {
    if (!ConfirmWrites()) {
        return;
    }
    statusBar.SetMessage(QStringLiteral("Sending Data to Sensor"));
    StopMonitor();
    WriteChanges();
    const QList<Unconfirmed> unconfirmed = unconfirmed_;
    const auto confirmed = [&unconfirmed](int parameter) {
        return std::none_of(unconfirmed.begin(), unconfirmed.end(),
                            [parameter](const Unconfirmed& u) { return u.parameter == parameter; });
    };

    // Only a change the sensor took needs its power cycled.
    QList<int> cyclePowerRows;
    for (int r = 1; r <= sensor.MaxParameters(); ++r) {
        if (sensor.ReadParameterData(r, clsSensorData::DataTypeColumn) ==
                clsSensorData::CyclePowerType &&
            sensor.ReadParameterData(r, clsSensorData::ChangedDataColumn) !=
                sensor.ReadParameterData(r, clsSensorData::SensorDataColumn)) {
            cyclePowerRows.append(r);
        }
    }

    if (!link.PortIsOpen()) {
        // Nothing more can be written or read.
        link.StateFlags.ClearBit(StateBit::OnLine);
        view.Ask(QStringLiteral("Apply Stopped"),
                 QStringLiteral("Writing to the sensor stopped: %1.\r\nWhat was not written yet "
                                "is still pending; open the port again and press Apply.")
                     .arg(link.PortErrorText()),
                 MessageIcon::Exclamation, MessageButtons::Ok);
        view.SelectTab(Tab::Communications);
    } else if (std::any_of(cyclePowerRows.begin(), cyclePowerRows.end(), confirmed)) {
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
                LoadSensor(ReloadCurrent);
            } else {
                link.StateFlags.ClearBit(StateBit::OnLine);
                view.SelectTab(Tab::Communications);
            }
            commands.TakeFailedRequests();
        } else {
            LoadSensor(ReloadCurrent);
            // The list follows the sensor to a new address, or the next start
            // would look for it where it no longer is.
            if (ReadComplete() && sensors.Address() != link.CurrentAddress) {
                sensors.setAddress(static_cast<std::int16_t>(link.CurrentAddress));
                sensors.Update();
                emit sensorsChanged();
            }
        }
    } else {
        LoadSensor(ReloadCurrent);
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
        StartMonitor();
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
}

} // namespace kelvar
