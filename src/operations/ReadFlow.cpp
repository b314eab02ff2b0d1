// Reading a sensor: identity block, parameters and setpoints.

#include "operations/ReadFlow.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/Speeds.h"
#include "model/Text.h"
#include "operations/Editing.h"
#include "operations/Session.h"

#include <algorithm>

namespace kelvar {

namespace {

constexpr int LastSetpoint = 59;

} // namespace

cReadFlow::cReadFlow(cSession& session) : session_(session) {}

bool cReadFlow::RequireSensor(const QString& title) {
    if (session_.sensor.DataIsLoaded()) {
        return true;
    }
    session_.view.Ask(title,
                      QStringLiteral("No sensor has been read, so there are no sensor values "
                                     "to use.\r\nSelect a sensor, or search for one on the "
                                     "Communications tab, first."),
                      MessageIcon::Exclamation, MessageButtons::Ok);
    return false;
}

void cReadFlow::Reset() {
    if (!RequireSensor(QStringLiteral("Reset"))) {
        return;
    }
    LoadSensor(ReloadCurrent);
    session_.dataFile.ForgetCurrentFile();
    session_.log.LogSensorReport();
    session_.link.StatusWord.SetBit(LinkBit::ResetCounters);
    const int tab = session_.view.VisibleTab();
    if (tab == Tab::Communications || tab == Tab::Monitor) {
        session_.monitor.Start();
    }
    session_.statusBar.SetMessage(QStringLiteral("Ready"));
}

void cReadFlow::ReadSensorModel() {
    auto& sensor = session_.sensor;
    auto& statusBar = session_.statusBar;
    statusBar.StartProgress(0, 8, QStringLiteral("Reading Sensor Model..."));
    session_.monitor.Stop();
    sensor.setInfoBlock(
        session_.commands.ReadIdentityRecord([&statusBar](int i) { statusBar.SetProgress(i); }));
    const float resolution = sensor.Resolution();
    sensor.setResolution(resolution > 0 && resolution < 1 ? resolution : 0.001F);

    const QString units = sensor.Units().trimmed();
    const int decimals = std::max(4, LengthDecimals(sensor.Resolution()));
    identity_.resolution =
        FormatNumber(sensor.Resolution(), QStringLiteral("0.") + QString(decimals, u'0')) + u' ' +
        units;
    identity_.serialNumber = sensor.SerialNumber();
    identity_.model = sensor.Model();
    identity_.firmwareVersion = sensor.Version();
    identity_.firmwareDate = sensor.FirmwareDate();
    identity_.units = IsEnglishUnits(units) ? QStringLiteral("English") : QStringLiteral("Metric");
    emit identityChanged();
    statusBar.EndProgress(QStringLiteral("Ready"));
}

void cReadFlow::StoreReadParameter(int index) {
    std::int32_t value = session_.commands.ReadParameter(index).value;
    switch (index) {
    case Param::ZeroAdjust:
        value = DecodeZeroAdjust(value);
        break;
    case Param::LoopTime:
        if (value == 0) {
            value = 2;
        }
        break;
    default:
        break;
    }
    session_.sensor.WriteParameterData(index, clsSensorData::SensorDataColumn, value);
}

void cReadFlow::StoreReadSetpoint(int index, int field) {
    session_.sensor.WriteSetpointData(index, field,
                                      session_.commands.ReadSetpoint(index, field).value);
}

void cReadFlow::DeriveLimits() {
    auto& sensor = session_.sensor;
    const auto held = [&sensor](int index) {
        return sensor.ReadParameterData(index, clsSensorData::SensorDataColumn);
    };
    const std::int32_t length = held(Param::SensorLength);
    const std::int32_t minTravel = held(Param::MinimumTravel);
    const std::int32_t maxTravel = held(Param::MaximumTravel);
    sensorLength_ = static_cast<float>(length) * sensor.Resolution();
    sensor.setVelocityValue(static_cast<std::int16_t>(held(Param::VelocityEnable)));
    sensor.WriteParameterData(Param::SensorLength, clsSensorData::MaxColumn, length);
    sensor.WriteParameterData(Param::MinimumTravel, clsSensorData::MaxColumn, maxTravel);
    sensor.WriteParameterData(Param::MinimumTravel, clsSensorData::MinColumn, 0);
    sensor.WriteParameterData(Param::MaximumTravel, clsSensorData::MaxColumn, length);
    sensor.WriteParameterData(Param::MaximumTravel, clsSensorData::MinColumn, minTravel);
    sensor.WriteParameterData(Param::InPositionWindow, clsSensorData::MaxColumn,
                              static_cast<std::int32_t>(RoundHalfEven(maxTravel / 2.0)));
    sensor.WriteParameterData(Param::InPositionWindow, clsSensorData::MinColumn, 1);
    sensor.WriteParameterData(Param::InPositionWindow, clsSensorData::DefaultColumn, 60);
    travelMinimum_ = static_cast<float>(minTravel) * sensor.Resolution();
    travelMaximum_ = static_cast<float>(maxTravel) * sensor.Resolution();
}

void cReadFlow::AskDoubtedAgain() {
    auto& commands = session_.commands;
    // A copy of an answer, or one that came very late, can pass for the
    // answer to a later request of the same kind; the line shows it only
    // when the one frame too many arrives. What it put in doubt is asked
    // again, each answer taken only once the line is quiet after it.
    commands.Settle();
    const cSensorLink::SettledAnswers settled(session_.link);
    for (const QByteArray& command : commands.TakeDoubted('D')) {
        StoreReadParameter(HexToLong(command.mid(1, 4), false));
    }
    for (const QByteArray& command : commands.TakeDoubted('R')) {
        StoreReadSetpoint(HexToLong(command.mid(2, 3), false), command.at(1) - '0');
    }
}

void cReadFlow::ReadParametersAndSetpoints() {
    auto& sensor = session_.sensor;
    auto& statusBar = session_.statusBar;
    if (session_.link.CurrentAddress == 0) {
        return;
    }
    const int last = sensor.MaxParameters();
    statusBar.StartProgress(0, last, QStringLiteral("Reading Parameters..."));
    for (int r = 0; r <= last; ++r) {
        const std::int32_t type = sensor.ReadParameterData(r, clsSensorData::DataTypeColumn);
        if (type != 0 && type != 8) {
            StoreReadParameter(r);
        }
        statusBar.SetProgress(r);
    }

    statusBar.StartProgress(0, LastSetpoint, QStringLiteral("Reading Setpoints..."));
    // What was read must not move the cylinder before the user has seen it.
    session_.setpoints.SetViewOnly(true);
    sensor.ClearSetpoints();
    sensor.setMaxSetpoints(LastSetpoint);
    for (int s = 0; s <= LastSetpoint; ++s) {
        for (int f = 0; f < 3; ++f) {
            StoreReadSetpoint(s, f);
        }
        statusBar.SetProgress(s);
    }
    if (!session_.commands.StoppedAnswering()) {
        AskDoubtedAgain();
    }

    DeriveLimits();
    // Flags read as anything but 0 are on.
    for (const int flag : {Param::ReadoutDirection, Param::AutoNullEnable, Param::DrivePolarity,
                           Param::CylinderType}) {
        const std::int32_t value =
            sensor.ReadParameterData(flag, clsSensorData::SensorDataColumn) < 1 ? 0 : 1;
        sensor.WriteParameterData(flag, clsSensorData::SensorDataColumn, value);
    }
    for (int r = 0; r <= last; ++r) {
        sensor.WriteParameterData(r, clsSensorData::ChangedDataColumn,
                                  sensor.ReadParameterData(r, clsSensorData::SensorDataColumn));
    }
    for (int s = 0; s < clsSensorData::Rows; ++s) {
        for (int f = 0; f < 3; ++f) {
            sensor.WriteSetpointData(s, f + 3, sensor.ReadSetpointData(s, f));
        }
    }
    statusBar.EndProgress(QStringLiteral("Ready"));
    sensor.setDataIsLoaded(true);
}

bool cReadFlow::ReadComplete() const {
    return lastReadDone_ && session_.link.StateFlags.TestBit(StateBit::DataLoaded) &&
           lastReadFailures_.isEmpty();
}

QString cReadFlow::ReadFailureText() const {
    // A lost port fails every request after it: name the first few.
    constexpr qsizetype Named = 12;
    QStringList names;
    bool portFailed = false;
    for (const cCommands::Failure& failure : lastReadFailures_) {
        if (names.size() < Named) {
            names.append(session_.commands.DescribeRequest(failure.command));
        }
        portFailed = portFailed || failure.outcome == cSensorLink::Outcome::PortFailed;
    }
    if (names.isEmpty()) {
        return {};
    }
    if (lastReadFailures_.size() > Named) {
        names.append(QStringLiteral("and %1 more").arg(lastReadFailures_.size() - Named));
    }
    QString text =
        QStringLiteral("%1 of the requests of the read of sensor %2 got no valid answer: %3.")
            .arg(lastReadFailures_.size())
            .arg(session_.link.CurrentAddress)
            .arg(names.join(QStringLiteral(", ")));
    if (portFailed) {
        // Everything after the loss was never asked for.
        text += QStringLiteral(" The read stopped: %1.").arg(session_.link.PortErrorText());
    } else if (!readAdvice_.isEmpty()) {
        text += QStringLiteral(" ") + readAdvice_ + u'.';
    }
    return text;
}

QSet<int> cReadFlow::UnreadParameters() const {
    QSet<int> unread;
    for (int r = 0; r < clsSensorData::Rows; ++r) {
        if (session_.sensor.ParameterUnread(r)) {
            unread.insert(r);
        }
    }
    return unread;
}

QSet<int> cReadFlow::UnreadSetpoints() const {
    QSet<int> unread;
    for (int s = 0; s < clsSensorData::Rows; ++s) {
        for (int f = 0; f < 3; ++f) {
            if (session_.sensor.SetpointUnread(s, f)) {
                unread.insert(s);
            }
        }
    }
    return unread;
}

void cReadFlow::MarkUnread() {
    auto& sensor = session_.sensor;
    sensor.ClearUnread();
    for (const cCommands::Failure& failure : lastReadFailures_) {
        const QByteArray& command = failure.command;
        if (command.startsWith('D')) {
            sensor.setParameterUnread(HexToLong(command.mid(1, 4), false), true);
        } else if (command.startsWith('R')) {
            sensor.setSetpointUnread(HexToLong(command.mid(2, 3), false), command.at(1) - '0',
                                     true);
        }
    }
}

void cReadFlow::ReportReadFailures() {
    readAdvice_ = session_.commands.FailureAdvice(session_.link.CurrentAddress);
    if (!readAdvice_.isEmpty()) {
        readAdvice_[0] = readAdvice_[0].toUpper();
    }
    lastReadFailures_ = session_.commands.TakeFailedRequests();
    MarkUnread();
    if (lastReadFailures_.isEmpty()) {
        return;
    }
    // A value whose request went unanswered reads as 0: say so rather than
    // let it pass for what the sensor holds.
    session_.view.Ask(
        QStringLiteral("Sensor Read Incomplete"),
        ReadFailureText() +
            QStringLiteral("\r\n\r\nThe values they should have read are not what the "
                           "sensor holds; saving or applying them asks first."),
        MessageIcon::Exclamation, MessageButtons::Ok);
}

void cReadFlow::HoldTargetAtPosition() {
    auto& commands = session_.commands;
    auto& link = session_.link;
    // The target becomes the position only when this exchange read a
    // position that cannot be another poll's answer, after a read that left
    // nothing in doubt: a position left at 0 by a lost answer would send the
    // cylinder to 0.
    const bool doubtLeft = std::any_of(
        lastReadFailures_.begin(), lastReadFailures_.end(),
        [](const cCommands::Failure& f) { return f.outcome == cSensorLink::Outcome::Doubtful; });
    bool positionRead = false;
    if (!doubtLeft) {
        const cSensorLink::SettledAnswers settled(link);
        positionRead = commands.PollPosition() == cSensorLink::Outcome::Answered &&
                       link.StatusWord.TestBit(StatusBit::PositionOk);
    }
    if (positionRead) {
        commands.SetTarget(link.Decoder().Position());
    }
    commands.PollTarget();
    commands.PollTarget();
    commands.PollVelocity();
    commands.TakeFailedRequests();
    if (!positionRead) {
        session_.view.Ask(QStringLiteral("Target Not Set"),
                          (doubtLeft
                               ? QStringLiteral("Answers of the read of sensor %1 are in doubt, so "
                                                "its target was not set to the position.")
                               : QStringLiteral("Sensor %1 did not report a valid position, so its "
                                                "target was not set to the position."))
                                  .arg(link.CurrentAddress) +
                              QStringLiteral("\r\nThe cylinder keeps the target it had."),
                          MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

void cReadFlow::LoadSensor(int sensorNumber, bool keepEdits) {
    auto& sensors = session_.sensors;
    auto& commands = session_.commands;
    auto& link = session_.link;
    auto& view = session_.view;
    auto& flags = link.StateFlags;
    commands.TakeFailedRequests();
    lastReadDone_ = false;
    if (sensorNumber != ReloadCurrent) {
        flags.ClearBit(StateBit::OnLine);
        sensors.setSensorNumber(sensorNumber);
        link.CurrentAddress = sensors.Address();
        if (link.OpenPort(sensors.Port(), sensors.BaudRate()) &&
            commands.CheckSensorAnswers(link.CurrentAddress)) {
            flags.SetBit(StateBit::OnLine);
        }
        // Kept when the sensor does not answer: they say how it failed.
        readAdvice_.clear();
        lastReadFailures_ = commands.TakeFailedRequests();
    }
    session_.monitor.Stop();

    if (flags.TestBit(StateBit::OnLine)) {
        session_.SetCommLabel(QStringLiteral("Sensor OnLine"), false);
        flags.ClearBit(StateBit::DataLoaded);
        session_.monitor.UpdateReadouts(true);
        emit loadStarted();
        const PendingEdits edits = PendingEditsOf(session_.sensor);
        ReadSensorModel();
        ReadParametersAndSetpoints();
        if (keepEdits && !edits.Empty() && !RestorePendingEdits(session_.sensor, edits)) {
            session_.log.AppendLog(
                QStringLiteral("Sensor %1 now answering is serial number %2, not %3: the "
                               "edits not applied to %3 were not put on it.")
                    .arg(link.CurrentAddress)
                    .arg(session_.sensor.SerialNumber(), edits.serialNumber));
        }
        ReportReadFailures();
        // Once the record marks what the read missed.
        identity_.nullZero = RegisterText(session_.sensor, Param::NullZero, 0);
        emit identityChanged();
        session_.setpoints.ShowSetpointDisplay(0);
        if (runModeOption_ == 0) {
            HoldTargetAtPosition();
        }
        session_.monitor.UpdateReadouts(false);
        emit loadFinished();
        runModeOption_ =
            session_.sensor.ReadParameterData(Param::RunMode, clsSensorData::ChangedDataColumn);
        currentSensor_ = {QStringLiteral(" Actimar %1 Program Data  ").arg(link.CurrentAddress),
                          QStringLiteral("Network Address: %1").arg(link.CurrentAddress),
                          sensors.SensorName(),
                          // Limits not read give no numbers to the help.
                          session_.sensor.ParameterUnread(Param::MinimumTravel) ||
                                  session_.sensor.ParameterUnread(Param::MaximumTravel)
                              ? SetpointEditHelp()
                              : SetpointEditHelp(session_.sensor, travelMinimum_, travelMaximum_)};
        emit currentSensorChanged();
        // Loaded before the monitor is asked to start: it starts only then.
        flags.SetBit(StateBit::DataLoaded);
        lastReadDone_ = true;
        const int tab = view.VisibleTab();
        if (tab == Tab::Information || tab == Tab::Graph || tab == Tab::Log) {
            session_.monitor.Start();
        }
        view.SetTabEnabled(Tab::Graph, true);
        if (session_.calibration.CalibrationMode()) {
            view.SetTabEnabled(Tab::Calibration, true);
        }
    } else {
        session_.search.ResetToNoSensor();
        view.SelectTab(Tab::Communications);
        session_.SetCommLabel(QStringLiteral("No Response from Sensor"), true);
        view.SetTabEnabled(Tab::Graph, false);
        if (session_.calibration.CalibrationMode()) {
            view.SetTabEnabled(Tab::Calibration, false);
        }
    }
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    if (view.VisibleTab() == Tab::Monitor) {
        session_.monitor.Start();
    }
}

} // namespace kelvar
