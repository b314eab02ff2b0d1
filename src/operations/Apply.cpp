// Writing the pending edits to the sensor.

#include "link/Speeds.h"
#include "model/Parameters.h"
#include "operations/Session.h"

namespace kelvar {

namespace {

const char* const FieldNames[] = {"target", "velocity", "dwell"};

} // namespace

void cSession::RefreshApplyState() {
    emit applyEnabledChanged(sensor.DataIsLoaded() && sensor.TestForChangedData());
}

void cSession::WriteChanges() {
    unconfirmed_.clear();
    if (!sensor.DataIsLoaded()) {
        return;
    }
    commands.EnsureMode5();
    const int last = sensor.MaxParameters();
    statusBar.StartProgress(0, last, QStringLiteral("Writing Parameters..."));
    for (int r = 0; r <= last; ++r) {
        statusBar.SetProgress(r);
        // Register 0 holds no parameter; the record's rows start at 1.
        const int row = std::max(r, 1);
        const std::int32_t type = sensor.ReadParameterData(row, 5);
        if (type != 1 && type != 4) {
            continue;
        }
        if (sensor.ReadParameterData(row, 1) != sensor.ReadParameterData(row, 0)) {
            const auto write = commands.WriteParameter(row);
            // A write is confirmed only by the sensor echoing what was sent.
            if (!write.answered() || write.value != write.sent) {
                link.FlagRefusedRequest();
                unconfirmed_.append(
                    {sensor.ReadParameterName(row, 0).trimmed(), sensor.ReadParameterData(row, 1),
                     write.answered()
                         ? QString::number(row == Param::ZeroAdjust ? DecodeZeroAdjust(write.value)
                                                                    : write.value)
                         : QStringLiteral("no answer")});
            }
        }
        commands.PollPosition();
    }

    const int setpoints = sensor.MaxSetpoints();
    statusBar.StartProgress(0, setpoints, QStringLiteral("Writing Setpoints..."));
    for (int s = 0; s <= setpoints; ++s) {
        statusBar.SetProgress(s);
        bool pending = false;
        for (int f = 0; f < 3; ++f) {
            pending = pending || sensor.ReadSetpointData(s, f + 3) != sensor.ReadSetpointData(s, f);
        }
        if (!pending) {
            continue;
        }
        for (int f = 0; f < 3; ++f) {
            const std::int32_t value = sensor.ReadSetpointData(s, f + 3);
            const auto write = commands.WriteSetpoint(s, f, value);
            if (write.answered() && write.value == value) {
                sensor.WriteSetpointData(s, f, value);
            } else {
                link.FlagRefusedRequest();
                unconfirmed_.append(
                    {QStringLiteral("Setpoint %1 %2").arg(s).arg(QLatin1String(FieldNames[f])),
                     value,
                     write.answered() ? QString::number(write.value)
                                      : QStringLiteral("no answer")});
            }
        }
    }
    commands.TakeFailedRequests();
    RefreshApplyState();
    statusBar.EndProgress(QStringLiteral("Ready"));
}

void cSession::Apply() {
    emit applyRunning(true);
    statusBar.SetMessage(QStringLiteral("Sending Data to Sensor"));
    StopMonitor();
    WriteChanges();
    const QList<Unconfirmed> unconfirmed = unconfirmed_;

    if (sensor.CyclePowerFlag()) {
        view.Ask(QStringLiteral("Changed Sensor Settings"),
                 QStringLiteral("One or more changes to the sensor\r\n"
                                "settings require power to the Actimar\r\n"
                                "to be cycled before the new\r\n"
                                "settings will take effect.\r\n\r\n"
                                "Click 'OK' when power has been cycled."),
                 MessageIcon::None, MessageButtons::Ok);
        link.CurrentAddress = sensor.ReadParameterData(Param::Address, 1);
        const int speed = SpeedIndexOfBaudCode(sensor.ReadParameterData(Param::BaudRate, 1));
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
            lines.append(
                QStringLiteral("%1: sent %2, sensor holds %3").arg(u.item).arg(u.sent).arg(u.held));
        }
        view.Ask(QStringLiteral("Changes Not Confirmed"),
                 QStringLiteral("The sensor did not confirm %1 of the changes written:\r\n\r\n")
                         .arg(unconfirmed.size()) +
                     lines.join(QStringLiteral("\r\n")),
                 MessageIcon::Exclamation, MessageButtons::Ok);
    }
    unconfirmed_ = unconfirmed;
    if (view.VisibleTab() == Tab::Monitor) {
        StartMonitor();
    }
    emit applyRunning(false);
    statusBar.SetMessage(QStringLiteral("Ready"));
}

} // namespace kelvar
