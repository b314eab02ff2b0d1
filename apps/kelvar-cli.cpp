// Drives the sensor link from a shell, over the same code as the window.

#include "files/DataFile.h"
#include "files/PagePainter.h"
#include "link/Commands.h"
#include "link/Framing.h"
#include "link/PortInfo.h"
#include "link/QtSerialPort.h"
#include "link/SensorLink.h"
#include "model/Limits.h"
#include "model/Numbers.h"
#include "model/SensorData.h"
#include "model/Speeds.h"
#include "operations/Backup.h"
#include "operations/Editing.h"
#include "operations/JsonDocuments.h"
#include "operations/MachineVerdict.h"
#include "operations/Report.h"
#include "operations/ServiceReport.h"
#include "operations/Session.h"
#include "operations/SetpointMove.h"
#include "operations/View.h"
#include "shell/EventGuard.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace kelvar;

namespace {

enum ExitStatus { Ok = 0, Usage = 2, NoAnswer = 3, BadAnswer = 4, NotConfirmed = 5, NotInTime = 6 };

// --json: the command's output as one JSON document on stdout (monitor: one
// object per poll). Its messages go to stderr as without it, and are kept for
// the document of a command that fails (and for restore's record).
struct JsonOutput {
    bool on = false;
    std::optional<QJsonObject> document; // what the command printed as text, when it did
    QStringList messages;
};
JsonOutput Json;

// One line on stderr: the core's texts break lines for message boxes.
void Warn(const QString& message) {
    QString line = message;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    line = line.simplified();
    Json.messages.append(line);
    QTextStream(stderr) << "kelvar-cli: " << line << Qt::endl;
}

void PrintJsonLine(const QJsonObject& object) {
    QTextStream(stdout) << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
}

// A command's document as --json prints it: with "exit_status", and "error"
// once the command failed (1 is no failure: the document says what differs).
QJsonObject Finished(QJsonObject document, int status) {
    if (status >= 2) {
        document.insert(QLatin1String("error"), Json.messages.join(u'\n'));
    }
    document.insert(QLatin1String("exit_status"), status);
    return document;
}

// With --json, prints the command's document, or on its own an error object
// {"error", "exit_status"} when the command failed before it had one.
int FinishJson(int status) {
    if (!Json.on || (!Json.document && status == 0)) {
        return status;
    }
    PrintJsonLine(Finished(Json.document.value_or(QJsonObject()), status));
    return status;
}

// A usage error: warns and gives the exit status the command returns.
int Fail(const QString& message) {
    Warn(message);
    return Usage;
}

// A whole number from low to high into `value`. Like the other helpers that
// read options and arguments, it warns of a usage error itself and returns
// false; the command then returns Usage.
bool ParseInt(const QString& text, int low, int high, const QString& what, int& value) {
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < low || parsed > high) {
        Warn(QStringLiteral("%1 must be %2 to %3, got \"%4\"")
                 .arg(what)
                 .arg(low)
                 .arg(high)
                 .arg(text));
        return false;
    }
    value = parsed;
    return true;
}

// Every --port value: "N=DEVICE" maps Comm N, a bare number chooses Comm N,
// anything else is the device itself (taken as Comm 1). 0 when none is chosen.
bool ChoosePort(const QStringList& values, cPortNames& names, int& chosen) {
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    chosen = 0;
    for (const QString& value : values) {
        if (value.contains(u'=')) {
            if (const QString error = names.addMapping(value); !error.isEmpty()) {
                Warn(QStringLiteral("--port: ") + error);
                return false;
            }
        } else if (number.match(value).hasMatch()) {
            if (!ParseInt(value, MinPortNumber, MaxPortNumber, QStringLiteral("--port"), chosen)) {
                return false;
            }
        } else {
            names.setDevice(1, value);
            chosen = 1;
        }
    }
    return true;
}

// The RS-485 options, each refused with its option's name.
bool ParseLineDriver(const QCommandLineParser& parser, cLineDriver& driver) {
    const std::pair<const char*, LineDriverField> options[] = {
        {"rs485", LineDriverField::Mode},
        {"rs485-rts", LineDriverField::RtsOnSend},
        {"rs485-delay-before", LineDriverField::DelayBeforeMs},
        {"rs485-delay-after", LineDriverField::DelayAfterMs},
    };
    for (const auto& [option, field] : options) {
        const QString name = QLatin1String(option);
        if (parser.isSet(name)) {
            if (const QString error = ParseLineDriverField(driver, field, parser.value(name));
                !error.isEmpty()) {
                Warn(QStringLiteral("--%1: %2").arg(name, error));
                return false;
            }
        }
    }
    return true;
}

// The command line has no window: questions are printed and answered with
// the safe choice, readouts are "shown" on the Monitor tab.
class CliView : public cView {
public:
    int VisibleTab() const override { return tab_; }
    void SelectTab(int index) override { tab_ = index; }
    void SetTabEnabled(int, bool) override {}
    void SetTabVisible(int, bool) override {}
    bool ShowInformation(const QString& text, const QString& caution) override {
        Warn((text + u' ' + caution).simplified());
        return false;
    }
    QString AskFileName(bool, const QString&, const QString&, const QString&,
                        const QString&) override {
        return {};
    }
    MessageAnswer Ask(const QString& title, const QString& text, MessageIcon,
                      MessageButtons buttons) override {
        Warn(title + QStringLiteral(": ") + text);
        return yes && buttons == MessageButtons::YesNo ? MessageAnswer::Yes
                                                       : NegativeAnswer(buttons);
    }

    // goto --force: a target beyond the travel limits goes all the same.
    bool yes = false;

private:
    int tab_ = Tab::Monitor;
};

struct Session {
    cQtSerialPort port;
    CliView view;
    cSession core{port, view};
    cSensorLink& link = core.link;
    clsSensorData& sensor = core.sensor;
    cCommands& commands = core.commands;
};

int ExitFor(cSensorLink::Outcome outcome) {
    switch (outcome) {
    case cSensorLink::Outcome::Answered:
        return Ok;
    case cSensorLink::Outcome::BadAnswer:
        return BadAnswer;
    case cSensorLink::Outcome::NotSent:
    case cSensorLink::Outcome::PortFailed:
        return Usage;
    case cSensorLink::Outcome::NoAnswer:
    case cSensorLink::Outcome::Busy:
    case cSensorLink::Outcome::Doubtful:
        break;
    }
    return NoAnswer;
}

QString Reason(const Session& s, cSensorLink::Outcome outcome) {
    switch (outcome) {
    case cSensorLink::Outcome::BadAnswer:
        return QStringLiteral("bad answer (CRC error or unknown letter)");
    case cSensorLink::Outcome::PortFailed:
        return s.link.PortErrorText().isEmpty() ? QStringLiteral("port not open")
                                                : s.link.PortErrorText();
    case cSensorLink::Outcome::NotSent:
        return QStringLiteral("not sent");
    case cSensorLink::Outcome::Doubtful:
        return QStringLiteral("answer in doubt: another frame from the sensor followed it");
    default:
        return QStringLiteral("no answer within %1 ms").arg(s.link.PacketTimeout);
    }
}

// The worst of the outcomes: a lost port, then a bad answer, then silence.
int ExitForFailures(const QList<cCommands::Failure>& failures) {
    int status = failures.isEmpty() ? Ok : NoAnswer;
    for (const cCommands::Failure& failure : failures) {
        const int one = ExitFor(failure.outcome);
        if (one == Usage || (one == BadAnswer && status != Usage)) {
            status = one;
        }
    }
    return status;
}

// Requests that went unanswered are named, so that a value read as 0 is
// never taken for what the sensor holds.
int ReportFailures(Session& s) {
    const QString advice = s.commands.FailureAdvice(s.link.CurrentAddress);
    const QList<cCommands::Failure> failed = s.commands.TakeFailedRequests();
    QStringList texts;
    for (const cCommands::Failure& failure : failed) {
        texts.append(s.commands.DescribeRequest(failure.command) + QStringLiteral(": ") +
                     Reason(s, failure.outcome));
    }
    if (!texts.isEmpty()) {
        Warn(QStringLiteral("sensor %1: %2 request(s) got no valid answer: %3")
                 .arg(s.link.CurrentAddress)
                 .arg(failed.size())
                 .arg(texts.join(QStringLiteral("; "))));
    }
    if (!failed.isEmpty() && !advice.isEmpty()) {
        Warn(advice);
    }
    return ExitForFailures(failed);
}

int RunSend(Session& s, const QStringList& args) {
    if (args.size() != 2) {
        return Fail(QStringLiteral("usage: send ADDRESS COMMANDTEXT"));
    }
    static const QRegularExpression printable(QStringLiteral("^[\\x20-\\x7E]+$"));
    if (!printable.match(args.at(1)).hasMatch()) {
        return Fail(QStringLiteral("COMMANDTEXT must be printable ASCII"));
    }
    const QByteArray command = args.at(1).toLatin1();
    const auto outcome = s.link.SendCommand(command, 0).outcome;
    QTextStream out(stdout);
    out << "TX " << QString::fromLatin1(s.link.TxText()) << '\n';
    out << "RX "
        << (s.link.LastAnswer().isEmpty() ? QStringLiteral("none")
                                          : QString::fromLatin1(s.link.LastAnswer()))
        << Qt::endl;
    if (outcome != cSensorLink::Outcome::Answered) {
        Warn(QStringLiteral("sensor %1: %2: %3")
                 .arg(s.link.CurrentAddress)
                 .arg(s.commands.DescribeRequest(command), Reason(s, outcome)));
    }
    return ExitFor(outcome);
}

int RunIdentity(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        return Fail(QStringLiteral("usage: identity ADDRESS"));
    }
    s.sensor.setInfoBlock(s.commands.ReadIdentityRecord());
    QTextStream out(stdout);
    out << "Model: " << s.sensor.Model() << '\n'
        << "FirmwareDate: " << s.sensor.FirmwareDate() << '\n'
        << "Version: " << s.sensor.Version() << '\n'
        << "SerialNumber: " << s.sensor.SerialNumber() << '\n'
        << "Resolution: " << FormatNumber(s.sensor.Resolution(), u"0.######") << '\n'
        << "Units: " << s.sensor.Units() << Qt::endl;
    return ReportFailures(s);
}

int RunSerial(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        return Fail(QStringLiteral("usage: serial ADDRESS"));
    }
    const QString serial = s.commands.ReadSerialNumber();
    const int status = ReportFailures(s);
    if (status == Ok) {
        QTextStream(stdout) << serial << Qt::endl;
    }
    return status;
}

std::int32_t SensorValue(int index, std::int32_t wire) {
    return index == Param::ZeroAdjust ? DecodeZeroAdjust(wire) : wire;
}

int RunParam(Session& s, const QStringList& args) {
    if (args.size() != 2 && args.size() != 3) {
        return Fail(QStringLiteral("usage: param ADDRESS INDEX [VALUE]"));
    }
    InitParameterTable(s.sensor);
    int index = 0;
    if (!ParseInt(args.at(1), 0, s.sensor.MaxParameters(), QStringLiteral("INDEX"), index)) {
        return Usage;
    }
    const std::int32_t type = s.sensor.ReadParameterData(index, clsSensorData::DataTypeColumn);
    const QString name = s.sensor.ReadParameterName(index, 0).trimmed();
    QTextStream out(stdout);

    if (args.size() == 2) {
        const auto read = s.commands.ReadParameter(index);
        if (read.answered()) {
            out << index << ' ' << name << ": " << SensorValue(index, read.value) << Qt::endl;
        }
        return ReportFailures(s);
    }

    if (!IsWritableParameter(s.sensor, index)) {
        return Fail(QStringLiteral("parameter %1 %2 is %3 and is never written to the sensor")
                        .arg(index)
                        .arg(name)
                        .arg(type == clsSensorData::ReadOnlyType ? QStringLiteral("read-only")
                             : type == clsSensorData::SkippedType
                                 ? QStringLiteral("kept by the program")
                                 : QStringLiteral("not used")));
    }
    std::int32_t value = 0;
    if (!ParseInt(args.at(2), s.sensor.ReadParameterData(index, clsSensorData::MinColumn),
                  s.sensor.ReadParameterData(index, clsSensorData::MaxColumn),
                  QStringLiteral("VALUE of %1").arg(name), value)) {
        return Usage;
    }
    const cCalibrationFlow::ImmediateWrite write =
        s.core.calibration.WriteParameterNow(index, value);
    if (!write.mode5) {
        const int status = ReportFailures(s);
        // Only an answer of the sensor's own tells that it stayed out of mode 5.
        if (status == Ok) {
            Warn(QStringLiteral("sensor %1 did not enter mode 5; nothing was written")
                     .arg(s.link.CurrentAddress));
            return NotConfirmed;
        }
        Warn(QStringLiteral("nothing was written to sensor %1").arg(s.link.CurrentAddress));
        return status;
    }
    if (!write.held) {
        return ReportFailures(s);
    }
    s.commands.TakeFailedRequests();
    out << index << ' ' << name << ": " << *write.held << Qt::endl;
    if (*write.held != value) {
        Warn(QStringLiteral("sensor %1 did not confirm the value: sent %2, it holds %3")
                 .arg(s.link.CurrentAddress)
                 .arg(value)
                 .arg(*write.held));
        return NotConfirmed;
    }
    return Ok;
}

// Options that follow a command, parsed apart from the global ones.
bool ParseCommandOptions(QCommandLineParser& parser, const QString& command,
                         const QStringList& args) {
    if (!parser.parse(QStringList{command} + args)) {
        Warn(command + QStringLiteral(": ") + parser.errorText());
        return false;
    }
    return true;
}

int Baud(int speedIndex) {
    return SpeedTable[ValidSpeedIndex(speedIndex)].baud;
}

// scan's document: the port searched and the sensors found on it.
QJsonObject ScanJson(int port, const QString& device, clsSensorList& sensors) {
    QJsonArray found;
    for (int n = 1; n <= sensors.Count(); ++n) {
        sensors.setSensorNumber(n);
        found.append(QJsonObject{{"address", sensors.Address()},
                                 {"speed", Baud(sensors.BaudRate())},
                                 {"serial", sensors.Serial()}});
    }
    return {{"port", port}, {"device", device}, {"sensors", found}};
}

void PrintSensors(clsSensorList& sensors) {
    QTextStream out(stdout);
    for (int n = 1; n <= sensors.Count(); ++n) {
        sensors.setSensorNumber(n);
        out << sensors.Port() << ' ' << SpeedTable[ValidSpeedIndex(sensors.BaudRate())].baud << ' '
            << sensors.Address() << ' ' << sensors.Serial() << '\n';
    }
    out.flush();
}

int RunScan(Session& s, const QStringList& args) {
    const QCommandLineOption allSpeeds(QStringLiteral("all-speeds"));
    QCommandLineParser parser;
    parser.addOption(allSpeeds);
    if (!ParseCommandOptions(parser, QStringLiteral("scan"), args)) {
        return Usage;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Fail(QStringLiteral("usage: scan [--all-speeds]"));
    }
    const QString searched = s.link.PortDescription();
    const QString device = s.link.PortNames.deviceFor(s.link.CurrentPort);
    if (parser.isSet(allSpeeds)) {
        s.link.AvailablePorts.SetBit(s.link.CurrentPort);
        s.core.search.FullScan();
    } else {
        s.core.search.ScanPort();
    }
    if (Json.on) {
        Json.document = ScanJson(s.link.CurrentPort, device, s.core.sensors);
    } else {
        PrintSensors(s.core.sensors);
    }
    if (s.core.sensors.Count() > 0) {
        return Ok;
    }
    Warn(parser.isSet(allSpeeds)
             ? QStringLiteral("no sensor answered on %1 at any speed").arg(device)
             : QStringLiteral("no sensor answered on %1 (%2); --all-speeds searches every speed")
                   .arg(device, searched));
    return NoAnswer;
}

// Points the session at the one sensor asked for and reads it whole.
// Returns Ok only when every request of the read was answered.
int LoadOne(Session& s) {
    const int address = s.link.CurrentAddress;
    auto& sensors = s.core.sensors;
    sensors.Clear();
    sensors.setPort(static_cast<std::int16_t>(s.link.CurrentPort));
    sensors.setBaudRate(static_cast<std::int16_t>(s.link.BaudIndex));
    sensors.setAddress(static_cast<std::int16_t>(address));
    sensors.setActive(true);
    sensors.Add();
    InitParameterTable(s.sensor);
    s.core.read.LoadSensor(1);
    s.core.monitor.Stop();
    if (!s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        const QList<cCommands::Failure>& failures = s.core.read.LastReadFailures();
        const cSensorLink::Outcome outcome = s.core.apply.PortFailed()
                                                 ? cSensorLink::Outcome::PortFailed
                                             : failures.isEmpty() ? cSensorLink::Outcome::NoAnswer
                                                                  : failures.first().outcome;
        Warn(QStringLiteral("sensor %1 does not answer: %2").arg(address).arg(Reason(s, outcome)));
        // The session forgets a sensor that does not answer; what the command
        // says next is still about the one asked for.
        s.link.CurrentAddress = address;
        return ExitFor(outcome);
    }
    return ExitForFailures(s.core.read.LastReadFailures());
}

// The registers read lists: those that hold a parameter.
bool Listed(const clsSensorData& sensor, int r) {
    const std::int32_t type = sensor.ReadParameterData(r, clsSensorData::DataTypeColumn);
    return type != 0 && type != 8;
}

// read's document: the identity, then each parameter and setpoint field as
// read and as people read it, both null for a value that was not read.
QJsonObject SensorJson(clsSensorData& sensor) {
    const QJsonValue none(QJsonValue::Null);
    QJsonArray parameters;
    for (int r = 0; r <= sensor.MaxParameters(); ++r) {
        if (!Listed(sensor, r)) {
            continue;
        }
        const bool known = !sensor.ParameterUnknown(r, clsSensorData::SensorDataColumn);
        const std::int32_t value = sensor.ReadParameterData(r, clsSensorData::SensorDataColumn);
        parameters.append(
            QJsonObject{{"register", r},
                        {"name", sensor.ReadParameterName(r, 0).trimmed()},
                        {"value", known ? QJsonValue(value) : none},
                        {"text", known ? QJsonValue(ParameterValueText(sensor, r, value)) : none}});
    }
    QJsonArray setpoints;
    for (int n = 0; n <= sensor.MaxSetpoints(); ++n) {
        QJsonObject setpoint{{"setpoint", SetpointNumber(n)}};
        for (const auto& [field, name] : {std::pair{clsSensorData::TargetColumn, "target"},
                                          std::pair{clsSensorData::VelocityColumn, "velocity"},
                                          std::pair{clsSensorData::DwellColumn, "dwell"}}) {
            const bool known = !sensor.SetpointUnknown(n, field);
            const QString key = QLatin1String(name);
            setpoint.insert(key, known ? QJsonValue(sensor.ReadSetpointData(n, field)) : none);
            setpoint.insert(key + QStringLiteral("_text"),
                            known ? QJsonValue(sensor.SetpointText(n, field)) : none);
        }
        setpoints.append(setpoint);
    }
    return {{"model", sensor.Model()},
            {"firmware_date", sensor.FirmwareDate()},
            {"firmware_version", sensor.Version()},
            {"serial", sensor.SerialNumber()},
            {"resolution", FormatNumber(sensor.Resolution(), u"0.######").toDouble()},
            {"units", sensor.Units()},
            {"parameters", parameters},
            {"setpoints", setpoints}};
}

int RunRead(Session& s, const QStringList& args) {
    const QCommandLineOption outOption(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    QCommandLineParser parser;
    parser.addOption(outOption);
    if (!ParseCommandOptions(parser, QStringLiteral("read"), args)) {
        return Usage;
    }
    if (parser.positionalArguments().size() != 1) {
        return Fail(QStringLiteral("usage: read ADDRESS [--out FILE.dat]"));
    }
    const int status = LoadOne(s);
    if (!s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return status;
    }
    if (parser.isSet(outOption)) {
        if (status != Ok) {
            // A file of a partial read would carry zeros for what was not read.
            Warn(QStringLiteral("no data file written: the read of sensor %1 was incomplete")
                     .arg(s.link.CurrentAddress));
        } else {
            // The values as read are the edited ones after a complete read:
            // the file is a faithful copy of the sensor.
            QString error;
            if (!SaveSensorDataFile(parser.value(outOption), s.sensor, &error)) {
                Warn(error);
                return Usage;
            }
        }
    }
    if (Json.on) {
        Json.document = SensorJson(s.sensor);
        return status;
    }
    auto& sensor = s.sensor;
    QTextStream out(stdout);
    out << "Model: " << sensor.Model() << '\n'
        << "FirmwareDate: " << sensor.FirmwareDate() << '\n'
        << "Version: " << sensor.Version() << '\n'
        << "SerialNumber: " << sensor.SerialNumber() << '\n'
        << "Resolution: " << FormatNumber(sensor.Resolution(), u"0.######") << '\n'
        << "Units: " << sensor.Units() << '\n';
    for (int r = 0; r <= sensor.MaxParameters(); ++r) {
        if (Listed(sensor, r)) {
            out << r << ' ' << sensor.ReadParameterName(r, 0).trimmed() << ": "
                << RegisterText(sensor, r, 0) << '\n';
        }
    }
    for (int n = 0; n <= sensor.MaxSetpoints(); ++n) {
        out << "Setpoint " << SetpointNumber(n) << ": " << sensor.SetpointText(n, 0) << ' '
            << sensor.SetpointText(n, 1) << ' ' << sensor.SetpointText(n, 2) << '\n';
    }
    out.flush();
    return status;
}

// Reads the sensor and loads the file into the edited values; prints what
// Apply would carry out into `plan` (in the sensor's units, or with --raw in
// counts and codes). Returns Ok, or the exit status that ends the command when
// the read was incomplete or the file cannot be used as it stands.
int LoadFileAndShowDifferences(Session& s, const QStringList& args, const QString& command,
                               WritePlan& plan) {
    const QCommandLineOption forceOption(QStringLiteral("force"));
    const QCommandLineOption rawOption(QStringLiteral("raw"));
    QCommandLineParser parser;
    parser.addOptions({forceOption, rawOption});
    if (!ParseCommandOptions(parser, command, args)) {
        return Usage;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        return Fail(QStringLiteral("usage: %1 ADDRESS FILE.dat [--force] [--raw]").arg(command));
    }
    const QString path = positional.at(1);
    if (const int status = LoadOne(s); status != Ok) {
        // Held against values that were never read, the file would write
        // whatever differs from the zeros standing in for them.
        Warn(QStringLiteral("nothing compared or written: the read of sensor %1 was incomplete")
                 .arg(s.link.CurrentAddress));
        return status;
    }
    const cDataFileFlow::DataFileCheck check = s.core.dataFile.CheckSensorDataFile(path);
    if (!check.contents) {
        return Fail(check.refusal);
    }
    for (const QString& note : check.notes) {
        Warn(note);
    }
    if (!check.doubts.isEmpty()) {
        for (const QString& doubt : check.doubts) {
            Warn(doubt);
        }
        if (!parser.isSet(forceOption)) {
            return Fail(
                QStringLiteral("%1 not loaded; --force loads it all the same (values outside "
                               "their limits are never written)")
                    .arg(path));
        }
    }
    s.core.dataFile.UseSensorDataFile(path, *check.contents);
    plan = s.core.apply.PendingWrites();
    if (Json.on) {
        Json.document = QJsonObject{{"writes", PlanJson(plan)}};
        return Ok;
    }
    QTextStream out(stdout);
    for (const PlannedWrite& write : plan) {
        out << (parser.isSet(rawOption) ? write.RawText() : write.Text()) << '\n';
    }
    out.flush();
    return Ok;
}

int RunDiff(Session& s, const QStringList& args) {
    WritePlan plan;
    const int status = LoadFileAndShowDifferences(s, args, QStringLiteral("diff"), plan);
    return status != Ok ? status : plan.isEmpty() ? Ok : 1;
}

// apply's document: the plan, each write with whether the sensor confirmed
// it. After a port failure none counts as confirmed: the writes after it never went.
QJsonObject ApplyJson(const WritePlan& plan, const QList<cApplyFlow::Unconfirmed>& unconfirmed,
                      bool portFailed, bool powerCycle) {
    QJsonArray writes;
    for (const PlannedWrite& write : plan) {
        QString outcome;
        for (const cApplyFlow::Unconfirmed& u : unconfirmed) {
            if (u.write.item == write.item) {
                outcome = u.outcome;
            }
        }
        QJsonObject entry = WriteJson(write);
        entry.insert(QLatin1String("confirmed"),
                     !portFailed && write.WillBeWritten() && outcome.isEmpty());
        entry.insert(QLatin1String("not_confirmed"), TextOrNull(outcome));
        writes.append(entry);
    }
    return {{"writes", writes}, {"power_cycle_needed", powerCycle}};
}

int RunApply(Session& s, const QStringList& args) {
    WritePlan plan;
    if (const int status = LoadFileAndShowDifferences(s, args, QStringLiteral("apply"), plan);
        status != Ok) {
        return status;
    }
    if (const QString conflict = s.core.apply.AddressConflict(); !conflict.isEmpty()) {
        return Fail(conflict + QStringLiteral(" Nothing was written."));
    }
    s.core.apply.WriteChanges(plan);
    const auto unconfirmed = s.core.apply.LastUnconfirmed();
    if (Json.on) {
        Json.document =
            ApplyJson(plan, unconfirmed, s.core.apply.PortFailed(), s.sensor.CyclePowerFlag());
    }
    for (const auto& u : unconfirmed) {
        Warn(QStringLiteral("not confirmed: ") + u.Text());
    }
    if (!s.core.apply.ApplyAdvice().isEmpty()) {
        Warn(s.core.apply.ApplyAdvice());
    }
    const auto portStopped = [&s](const QString& doing) {
        Warn(QStringLiteral("%1 sensor %2 stopped: %3")
                 .arg(doing)
                 .arg(s.link.CurrentAddress)
                 .arg(s.link.PortErrorText()));
        return Usage;
    };
    if (s.core.apply.PortFailed()) {
        return portStopped(QStringLiteral("writing to"));
    }
    if (s.sensor.CyclePowerFlag()) {
        Warn(QStringLiteral("one or more changes take effect only after the sensor's power has "
                            "been cycled"));
    }
    s.core.read.LoadSensor(cReadFlow::ReloadCurrent);
    s.core.monitor.Stop();
    if (s.core.apply.PortFailed()) {
        return portStopped(QStringLiteral("reading"));
    }
    if (!unconfirmed.isEmpty()) {
        return NotConfirmed;
    }
    if (!s.core.read.ReadComplete()) {
        // Every write was confirmed; only the read that checks them fell short.
        Warn(s.core.read.ReadFailureText());
        return std::max<int>(NoAnswer, ExitForFailures(s.core.read.LastReadFailures()));
    }
    return Ok;
}

int RunReport(Session& s, const QStringList& args) {
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QString(), QStringLiteral("FILE"));
    QCommandLineParser parser;
    parser.addOption(pdfOption);
    if (!ParseCommandOptions(parser, QStringLiteral("report"), args)) {
        return Usage;
    }
    if (parser.positionalArguments().size() != 1 || !parser.isSet(pdfOption)) {
        return Fail(QStringLiteral("usage: report ADDRESS --pdf FILE.pdf"));
    }
    const int status = LoadOne(s);
    if (!s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return status;
    }
    if (status != Ok) {
        // A report of a partial read would show zeros as the sensor's values.
        Warn(QStringLiteral("no report written: the read of sensor %1 was incomplete")
                 .arg(s.link.CurrentAddress));
        return status;
    }
    QPdfWriter pdf(parser.value(pdfOption));
    pdf.setTitle(QStringLiteral("Sensor Configuration"));
    pdf.setCreator(QStringLiteral("kelvar-cli " KELVAR_VERSION));
    cPagePainter pages(pdf);
    if (!pages.Ready()) {
        Warn(QStringLiteral("cannot write %1").arg(parser.value(pdfOption)));
        return Usage;
    }
    PrintConfigurationReport(s.core, pages);
    return Ok;
}

// One poll of monitor: what its answer held (position, velocity, target and
// status byte as numbers, null for what it did not hold) or why there was none.
QJsonObject PollJson(qint64 ms, char letter, const QStringList& fields, const QString& error) {
    const auto number = [&fields](int field) {
        const QString& text = fields.at(field);
        return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text.toDouble());
    };
    return {{"time_ms", ms},
            {"poll", QString(QLatin1Char(letter))},
            {"position", number(0)},
            {"velocity", number(1)},
            {"target", number(2)},
            {"status", fields.at(3).isEmpty() ? QJsonValue(QJsonValue::Null)
                                              : QJsonValue(fields.at(3).toInt(nullptr, 16))},
            {"error", TextOrNull(error)}};
}

int RunMonitor(Session& s, const QStringList& args) {
    const QCommandLineOption countOption(QStringLiteral("count"), QString(), QStringLiteral("N"),
                                         QStringLiteral("20"));
    const QCommandLineOption csvOption(QStringLiteral("csv"));
    QCommandLineParser parser;
    parser.addOptions({countOption, csvOption});
    if (!ParseCommandOptions(parser, QStringLiteral("monitor"), args)) {
        return Usage;
    }
    if (parser.positionalArguments().size() != 1) {
        return Fail(QStringLiteral("usage: monitor ADDRESS [--count N] [--csv]"));
    }
    int count = 0;
    if (!ParseInt(parser.value(countOption), 1, 1000000, QStringLiteral("--count"), count)) {
        return Usage;
    }
    const bool csv = parser.isSet(csvOption) && !Json.on;
    if (const int status = LoadOne(s); !s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return status;
    }
    const auto& decoder = s.link.Decoder();
    const int decimals = LengthDecimals(s.sensor.Resolution());
    QTextStream out(stdout);
    if (csv) {
        out << "time_ms,poll,position,velocity,target,status,error\n";
    }
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    int lines = 0;
    int status = Ok;
    // A row shows only what its own poll's answer said; the other fields stay empty.
    QObject::connect(&s.core.monitor, &cMonitorFlow::monitorPolled, &loop,
                     [&](char letter, cSensorLink::Outcome outcome) {
                         QStringList fields(4);
                         QString error;
                         if (outcome == cSensorLink::Outcome::Answered) {
                             if (letter == 'A') {
                                 fields[0] = QString::number(decoder.Position(), 'f', decimals);
                                 fields[3] = QString::number(std::max(0, decoder.StatusByte()), 16)
                                                 .toUpper()
                                                 .rightJustified(2, u'0');
                             } else if (letter == 'B') {
                                 fields[2] = QString::number(decoder.Target(), 'f', decimals);
                             } else {
                                 fields[1] = QString::number(decoder.Velocity(), 'f', 2);
                             }
                         } else {
                             error = Reason(s, outcome);
                         }
                         if (Json.on) {
                             PrintJsonLine(PollJson(clock.elapsed(), letter, fields, error));
                         } else if (csv) {
                             out << clock.elapsed() << ',' << letter << ',' << fields.join(u',')
                                 << ',' << error << '\n';
                         } else if (error.isEmpty()) {
                             for (QString& field : fields) {
                                 if (field.isEmpty()) {
                                     field = QStringLiteral("-");
                                 }
                             }
                             out << letter << ' ' << fields.join(u' ') << '\n';
                         } else {
                             out << letter << " no answer: " << error << '\n';
                         }
                         out.flush();
                         if (outcome == cSensorLink::Outcome::PortFailed) {
                             Warn(QStringLiteral("monitor of sensor %1 stopped: %2")
                                      .arg(s.link.CurrentAddress)
                                      .arg(error));
                             status = Usage;
                             loop.quit();
                         } else if (++lines >= count) {
                             loop.quit();
                         }
                     });
    s.core.monitor.Start();
    loop.exec();
    s.core.monitor.Stop();
    return status;
}

// A time in seconds, as a whole or decimal number; milliseconds back.
bool ParseSeconds(const QString& text, double low, double high, const QString& what, int& ms) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value >= low && value <= high)) { // NaN fails both
        Warn(QStringLiteral("%1 must be %2 to %3 seconds, got \"%4\"")
                 .arg(what)
                 .arg(low)
                 .arg(high)
                 .arg(text));
        return false;
    }
    ms = static_cast<int>(value * 1000);
    return true;
}

// How a move ended, for goto's document.
QString MoveOutcome(cSetpointMove::Result result) {
    switch (result) {
    case cSetpointMove::Result::Arrived:
        return QStringLiteral("arrived");
    case cSetpointMove::Result::TimedOut:
        return QStringLiteral("timed_out");
    case cSetpointMove::Result::Lost:
        return QStringLiteral("lost");
    case cSetpointMove::Result::NotConfirmed:
        return QStringLiteral("not_confirmed");
    case cSetpointMove::Result::Idle:
    case cSetpointMove::Result::Moving:
    case cSetpointMove::Result::Refused:
        break;
    }
    return QStringLiteral("refused");
}

int RunGoto(Session& s, const QStringList& args) {
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QString(),
                                           QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption forceOption(QStringLiteral("force"));
    QCommandLineParser parser;
    parser.addOptions({timeoutOption, forceOption});
    if (!ParseCommandOptions(parser, QStringLiteral("goto"), args)) {
        return Usage;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        return Fail(QStringLiteral("usage: goto ADDRESS SETPOINT [--timeout S] [--force]"));
    }
    constexpr int SetpointsInUse = 60;
    int setpoint = 0;
    int timeoutMs = 0;
    if (!ParseInt(positional.at(1), 1, SetpointsInUse, QStringLiteral("SETPOINT"), setpoint) ||
        !ParseSeconds(parser.value(timeoutOption), 0.1, 3600, QStringLiteral("goto --timeout"),
                      timeoutMs)) {
        return Usage;
    }
    if (const int status = LoadOne(s); status != Ok) {
        if (s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
            // A setpoint that was not read would send the cylinder to 0.
            Warn(QStringLiteral("nothing moved: the read of sensor %1 was incomplete")
                     .arg(s.link.CurrentAddress));
        }
        return status;
    }
    if (setpoint > s.sensor.MaxSetpoints() + 1) {
        return Fail(QStringLiteral("sensor %1 has setpoints 1 to %2, got %3")
                        .arg(s.link.CurrentAddress)
                        .arg(s.sensor.MaxSetpoints() + 1)
                        .arg(setpoint));
    }
    s.view.yes = parser.isSet(forceOption);
    if (const QString outside = SetpointTargetOutsideLimits(s.sensor, setpoint - 1);
        !outside.isEmpty() && !s.view.yes) {
        return Fail(outside + QStringLiteral(" Nothing was sent; --force sends it."));
    }
    cSetpointMove move(s.core);
    QTextStream out(stdout);
    QJsonArray polls;
    QObject::connect(
        &move, &cSetpointMove::polled,
        [&](char letter, cSensorLink::Outcome outcome, const QString& values) {
            if (Json.on) {
                polls.append(
                    QJsonObject{{"poll", QString(QLatin1Char(letter))},
                                {"values", TextOrNull(values)},
                                {"error", values.isEmpty() ? QJsonValue(Reason(s, outcome))
                                                           : QJsonValue(QJsonValue::Null)}});
                return;
            }
            out << letter << ' '
                << (values.isEmpty() ? QStringLiteral("no answer: ") + Reason(s, outcome) : values)
                << Qt::endl;
        });
    QEventLoop loop;
    QObject::connect(&move, &cSetpointMove::finished, &loop, &QEventLoop::quit);
    s.core.setpoints.SetViewOnly(false);
    move.Start(setpoint - 1, timeoutMs);
    if (move.State() == cSetpointMove::Result::Moving) {
        loop.exec();
    }
    s.core.monitor.Stop();
    if (!move.Reason().isEmpty()) {
        Warn(move.Reason());
    }
    if (Json.on) {
        Json.document = QJsonObject{{"setpoint", setpoint},
                                    {"outcome", MoveOutcome(move.State())},
                                    {"reason", TextOrNull(move.Reason())},
                                    {"polls", polls}};
    }
    switch (move.State()) {
    case cSetpointMove::Result::Arrived:
        return Ok;
    case cSetpointMove::Result::TimedOut:
        return NotInTime;
    case cSetpointMove::Result::Lost:
        return ExitFor(move.LastFailure());
    case cSetpointMove::Result::NotConfirmed:
        return s.core.apply.PortFailed() ? Usage : NoAnswer;
    default:
        return Usage;
    }
}

// One block per sensor that was asked anything, on stderr so that the
// command's own output stays as it is.
void PrintStatistics(const cSensorLink& link) {
    QTextStream err(stderr);
    for (int address = MinAddress; address <= MaxAddress; ++address) {
        const cLinkStatistics& statistics = link.Statistics(address);
        if (statistics.requests == 0) {
            continue;
        }
        err << "sensor " << address << " link statistics:\n";
        for (const QString& line : statistics.Lines()) {
            err << "  " << line << '\n';
        }
    }
    err.flush();
}

// Lists the ports without talking on any: each is opened and closed again.
int RunPorts(Session& s, const QStringList& args) {
    if (!args.isEmpty()) {
        return Fail(QStringLiteral("usage: ports"));
    }
    const QList<PortReport> reports = InspectPorts(s.link.PortNames, s.port.lineDriver());
    QTextStream out(stdout);
    for (const PortReport& report : reports) {
        for (const QString& line : DescribePort(report)) {
            out << line << '\n';
        }
    }
    if (reports.isEmpty()) {
        out << "no serial port found\n";
    }
    out.flush();
    return Ok;
}

// "Comm 2 /dev/ttyUSB1 57600 address 4 serial 10000004"
QString Where(const MachineSensor& sensor) {
    return QStringLiteral("Comm %1 %2 %3 address %4 serial %5")
        .arg(sensor.port)
        .arg(sensor.device)
        .arg(SpeedTable[ValidSpeedIndex(sensor.speedIndex)].baud)
        .arg(sensor.address)
        .arg(sensor.serial);
}

// On a terminal, the work of a machine's ports as one line per port, each
// rewritten in place; the lines said meanwhile are printed above them.
class PortLines {
public:
    explicit PortLines(cMachineBackup& machine) {
        if (isatty(STDERR_FILENO) != 1) {
            return;
        }
        machine.portProgress = [this](int port, const QString& doing) {
            Erase();
            lines_[port] = QStringLiteral("Comm %1: %2").arg(port).arg(doing);
            Draw();
        };
    }
    void Say(const QString& line) {
        Erase();
        Warn(line);
        Draw();
    }

private:
    void Erase() {
        if (drawn_ > 0) {
            QTextStream(stderr) << "\x1b[" << drawn_ << "A\x1b[J";
        }
    }
    void Draw() {
        QTextStream err(stderr);
        for (const QString& line : std::as_const(lines_)) {
            err << "kelvar-cli: " << line << '\n';
        }
        drawn_ = static_cast<int>(lines_.size());
    }

    QMap<int, QString> lines_;
    int drawn_ = 0;
};

// What the work said of the ports that failed it.
void WarnPortFailures(const QStringList& failures) {
    for (const QString& failure : failures) {
        Warn(failure);
    }
}

// A machine's commands search the mapped ports, each of which must open
// first; without a mapping, every serial port the system has, those that do
// not open named and left to fail on their own.
bool MappedPortsOpen(const cMachineBackup& machine, const QString& command,
                     const cPortNames& names) {
    const QStringList failures = machine.PortFailures();
    for (const QString& failure : failures) {
        Warn(failure);
    }
    if (!names.explicitDevices().isEmpty()) {
        return failures.isEmpty();
    }
    if (failures.size() == machine.Ports().size()) {
        Warn(QStringLiteral("%1: no serial port opens; --port N=DEVICE names one").arg(command));
        return false;
    }
    return true;
}

int RunBackup(Session& s, const QStringList& args) {
    const QCommandLineOption forceOption(QStringLiteral("force"));
    QCommandLineParser parser;
    parser.addOption(forceOption);
    if (!ParseCommandOptions(parser, QStringLiteral("backup"), args)) {
        return Usage;
    }
    if (parser.positionalArguments().size() != 1) {
        return Fail(QStringLiteral("usage: backup DIR [--force]"));
    }
    cMachineBackup machine(s.core);
    if (!MappedPortsOpen(machine, QStringLiteral("backup"), s.link.PortNames)) {
        return Usage;
    }
    PortLines lines(machine);
    machine.progress = [&lines](const MachineSensor& sensor) {
        lines.Say(Where(sensor) + (sensor.complete
                                       ? QStringLiteral(": saved to \"%1\"").arg(sensor.file)
                                       : QStringLiteral(": read incomplete, not saved")));
    };
    const auto result =
        machine.Backup(parser.positionalArguments().at(0), parser.isSet(forceOption));
    WarnPortFailures(result.portFailures);
    if (!result.error.isEmpty()) {
        return Fail(result.error);
    }
    if (Json.on) {
        Json.document = QJsonObject{{"folder", parser.positionalArguments().at(0)},
                                    {"manifest", result.manifest}};
    }
    if (result.sensors.isEmpty()) {
        Warn(QStringLiteral("no sensor answered on any port at any speed"));
        return NoAnswer;
    }
    for (const MachineSensor& sensor : result.sensors) {
        if (!sensor.complete) {
            return NoAnswer;
        }
    }
    return Ok;
}

// 3 when a sensor is missing or was not verified, 1 when anything differs.
int VerifyStatus(const cMachineBackup::VerifyResult& result) {
    int status = result.unlisted.isEmpty() ? Ok : 1;
    for (const cMachineBackup::VerifiedSensor& sensor : result.sensors) {
        const Verdict verdict = VerdictOf(sensor);
        if (verdict == Verdict::NotFound || verdict == Verdict::NotVerified) {
            status = NoAnswer;
        } else if (verdict == Verdict::Differs) {
            status = std::max<int>(status, 1);
        }
    }
    return status;
}

void PrintVerified(const cMachineBackup::VerifyResult& result) {
    QTextStream out(stdout);
    for (const cMachineBackup::VerifiedSensor& sensor : result.sensors) {
        switch (VerdictOf(sensor)) {
        case Verdict::NotFound:
            out << "not found: " << Where(sensor.listed) << '\n';
            break;
        case Verdict::NotVerified:
            out << Where(*sensor.found) << ": not verified: " << ProblemText(sensor) << '\n';
            break;
        case Verdict::Same:
            out << Where(*sensor.found) << ": same\n";
            break;
        case Verdict::Differs:
            out << Where(*sensor.found) << ": differs\n";
            for (const PlannedWrite& write : sensor.differences) {
                out << "  " << write.Text() << '\n';
            }
            break;
        }
    }
    for (const MachineSensor& sensor : result.unlisted) {
        out << "not in the backup: " << Where(sensor) << '\n';
    }
    out.flush();
}

int RunVerify(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        return Fail(QStringLiteral("usage: verify DIR"));
    }
    cMachineBackup machine(s.core);
    // The manifest is checked before anything is sent.
    cMachineBackup::VerifyResult result = machine.ReadBackup(args.at(0));
    if (!result.refusal.isEmpty()) {
        return Fail(result.refusal);
    }
    if (!MappedPortsOpen(machine, QStringLiteral("verify"), s.link.PortNames)) {
        return Usage;
    }
    const PortLines lines(machine);
    machine.Verify(result);
    WarnPortFailures(result.portFailures);
    if (Json.on) {
        Json.document = VerifyJson(result);
    } else {
        PrintVerified(result);
    }
    return VerifyStatus(result);
}

int RunRestore(Session& s, const QStringList& args) {
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"));
    const QCommandLineOption forceOption(QStringLiteral("force"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"), QString(),
                                           QStringLiteral("SERIAL"));
    QCommandLineParser parser;
    parser.addOptions({dryRunOption, forceOption, replaceOption});
    if (!ParseCommandOptions(parser, QStringLiteral("restore"), args)) {
        return Usage;
    }
    if (parser.positionalArguments().size() != 1) {
        return Fail(QStringLiteral("usage: restore DIR [--dry-run] [--force] [--replace SERIAL]"));
    }
    cMachineBackup machine(s.core);
    cMachineBackup::VerifyResult result = machine.ReadBackup(parser.positionalArguments().at(0));
    if (!result.refusal.isEmpty()) {
        return Fail(result.refusal);
    }
    if (!MappedPortsOpen(machine, QStringLiteral("restore"), s.link.PortNames)) {
        return Usage;
    }
    const PortLines lines(machine);
    machine.Restore(result, {parser.isSet(dryRunOption), parser.isSet(forceOption),
                             parser.values(replaceOption)});
    WarnPortFailures(result.portFailures);
    QString text; // printed unless the document is
    QTextStream out(&text);
    int status = Ok;
    for (const cMachineBackup::VerifiedSensor& sensor : result.sensors) {
        if (!sensor.found) {
            out << "not found: " << Where(sensor.listed) << '\n';
            status = NoAnswer;
            continue;
        }
        const QString where =
            Where(*sensor.found) + (sensor.replacement
                                        ? QStringLiteral(" in place of ") + sensor.listed.serial
                                        : QString());
        for (const QString& warning : sensor.doubts + sensor.warnings) {
            Warn(where + QStringLiteral(": ") + warning);
        }
        if (!sensor.differences.isEmpty()) {
            out << where << ": differs\n";
            for (const PlannedWrite& write : sensor.differences) {
                out << "  " << write.Text() << '\n';
            }
            status = std::max<int>(status, parser.isSet(dryRunOption) ? 1 : Ok);
        } else if (sensor.problem.isEmpty()) {
            out << where << ": same\n";
        }
        for (const auto& u : sensor.unconfirmed) {
            out << where << ": not confirmed: " << u.Text() << '\n';
        }
        if (!sensor.problem.isEmpty()) {
            out << where << (sensor.written ? ": not confirmed: " : ": not restored: ")
                << ProblemText(sensor) << '\n';
        }
        if (!sensor.unconfirmed.isEmpty()) {
            status = std::max<int>(status, NotConfirmed); // as apply says it
        } else if (!sensor.problem.isEmpty() && !sensor.refused) {
            status = std::max<int>(status, NoAnswer);
        } else if (sensor.refused) {
            status = std::max<int>(status, Usage);
        } else if (Restored(sensor)) {
            out << where << ": restored\n";
        }
    }
    for (const MachineSensor& sensor : result.unlisted) {
        out << "not in the backup: " << Where(sensor) << '\n';
    }
    out.flush();
    const bool wrote = std::any_of(result.sensors.cbegin(), result.sensors.cend(),
                                   [](const auto& sensor) { return sensor.written; });
    // What the sensors did not confirm is kept for the service record.
    if (wrote) {
        QString error;
        if (!SaveRestoreRecord(result.folder, Finished(RestoreJson(result), status), error)) {
            Warn(error);
            status = Usage;
        }
    }
    if (Json.on) {
        Json.document = RestoreJson(result);
    } else {
        QTextStream(stdout) << text;
    }
    return status;
}

int RunServiceReport(Session& s, const QStringList& args) {
    const QCommandLineOption beforeOption(QStringLiteral("before"), QString(),
                                          QStringLiteral("DIR"));
    const QCommandLineOption afterOption(QStringLiteral("after"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption engineerOption(QStringLiteral("engineer"), QString(),
                                            QStringLiteral("NAME"));
    QCommandLineParser parser;
    parser.addOptions({beforeOption, afterOption, pdfOption, engineerOption});
    if (!ParseCommandOptions(parser, QStringLiteral("service-report"), args)) {
        return Usage;
    }
    if (!parser.positionalArguments().isEmpty() || !parser.isSet(beforeOption) ||
        !parser.isSet(pdfOption)) {
        return Fail(QStringLiteral("usage: service-report --before DIR [--after DIR] --pdf "
                                   "FILE.pdf [--engineer NAME]"));
    }
    cMachineBackup machine(s.core);
    cServiceRecord record(machine);
    // Both folders are checked before anything is sent.
    if (const QString refusal = record.Open(parser.value(beforeOption), parser.value(afterOption));
        !refusal.isEmpty()) {
        return Fail(refusal);
    }
    if (record.ReadsSensors() &&
        !MappedPortsOpen(machine, QStringLiteral("service-report"), s.link.PortNames)) {
        return Usage;
    }
    QPdfWriter pdf(parser.value(pdfOption));
    pdf.setTitle(QStringLiteral("Service Record"));
    pdf.setCreator(QStringLiteral("kelvar-cli " KELVAR_VERSION));
    cPagePainter pages(pdf);
    if (!pages.Ready()) {
        return Fail(QStringLiteral("cannot write %1").arg(parser.value(pdfOption)));
    }
    record.Compare();
    PrintControl(record.Text(parser.value(engineerOption), QDateTime::currentDateTime()), pages);
    const QStringList missing = record.NotCompared();
    for (const QString& line : missing) {
        Warn(line);
    }
    return missing.isEmpty() ? Ok : NoAnswer;
}

// Which ports a command talks on: none, the one --port chooses (opened
// before the command runs), or every one --port maps, without a mapping
// every serial port (the command opens them).
enum class Ports { None, Chosen, Mapped };

struct Command {
    const char* name;
    int (*run)(Session&, const QStringList&);
    bool address;
    Ports ports;
};

constexpr Command Commands[] = {{"send", RunSend, true, Ports::Chosen},
                                {"identity", RunIdentity, true, Ports::Chosen},
                                {"param", RunParam, true, Ports::Chosen},
                                {"serial", RunSerial, true, Ports::Chosen},
                                {"scan", RunScan, false, Ports::Chosen},
                                {"read", RunRead, true, Ports::Chosen},
                                {"monitor", RunMonitor, true, Ports::Chosen},
                                {"diff", RunDiff, true, Ports::Chosen},
                                {"apply", RunApply, true, Ports::Chosen},
                                {"report", RunReport, true, Ports::Chosen},
                                {"goto", RunGoto, true, Ports::Chosen},
                                {"ports", RunPorts, false, Ports::None},
                                {"backup", RunBackup, false, Ports::Mapped},
                                {"verify", RunVerify, false, Ports::Mapped},
                                {"restore", RunRestore, false, Ports::Mapped},
                                {"service-report", RunServiceReport, false, Ports::Mapped}};

// The commands that print a JSON document with --json.
bool HasJsonOutput(const QString& command) {
    static const QStringList commands{"scan",   "read",   "diff",    "apply",  "goto",
                                      "backup", "verify", "restore", "monitor"};
    return commands.contains(command);
}

int Run(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    // A report is painted with fonts, which need a GUI application; the
    // offscreen platform needs no display. The other commands do without.
    // Numbers for scripts: a decimal point whatever the user's locale, in the
    // messages as in the polls' lines.
    QLocale::setDefault(QLocale::c());
    std::unique_ptr<QCoreApplication> app;
    if (arguments.contains(QStringLiteral("report")) ||
        arguments.contains(QStringLiteral("service-report"))) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app = std::make_unique<cEventGuard<QGuiApplication>>(argc, argv);
    } else {
        app = std::make_unique<cEventGuard<QCoreApplication>>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kelvar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Talks to Actimar sensors on an RS-485 network.\n\n"
        "Commands:\n"
        "  send ADDRESS COMMANDTEXT    Sends one request (for example: send 1 A, send 3 D000C)\n"
        "                              and prints TX and RX lines.\n"
        "  identity ADDRESS            Reads and decodes the sensor's identity block.\n"
        "  param ADDRESS INDEX [VALUE] Reads a parameter; with VALUE, puts the sensor in\n"
        "                              mode 5, writes it and prints what the sensor holds.\n"
        "  serial ADDRESS              Reads the sensor's serial number.\n"
        "  scan [--all-speeds]         Searches the port at the given speed (or at every\n"
        "                              speed) and prints port, baud, address and serial\n"
        "                              number of every sensor found.\n"
        "  read ADDRESS [--out FILE.dat]\n"
        "                              Reads the whole sensor and prints it as text; with\n"
        "                              --out also writes its data file.\n"
        "  diff ADDRESS FILE.dat [--force]\n"
        "                              Prints what applying the file would change (name,\n"
        "                              sensor value, file value); exit status 1 if anything.\n"
        "  apply ADDRESS FILE.dat [--force]\n"
        "                              Writes the file's values to the sensor, reads it again\n"
        "                              and names what the sensor did not confirm. A file with\n"
        "                              values outside their limits, another address or speed,\n"
        "                              or a cut-short last line needs --force.\n"
        "  monitor ADDRESS [--count N] [--csv]\n"
        "                              Polls the sensor as the window's monitor does and\n"
        "                              prints one row per poll with what its answer held.\n"
        "  report ADDRESS --pdf FILE.pdf\n"
        "                              Reads the sensor and writes its configuration report\n"
        "                              as a PDF, paged as the printout.\n"
        "  goto ADDRESS SETPOINT [--timeout S] [--force]\n"
        "                              Reads the sensor, moves the cylinder to SETPOINT\n"
        "                              (1-60) as a setpoint button does and prints one line\n"
        "                              per poll until it is in position; gives up after S\n"
        "                              seconds (default 30; 0.1 to 3600). A target outside\n"
        "                              the travel limits or past the sensor's length needs\n"
        "                              --force.\n"
        "  backup DIR [--force]        Searches every port --port maps (N=DEVICE,\n"
        "                              repeatable; without --port every serial port) at\n"
        "                              every speed, all at once, reads each sensor found\n"
        "                              and writes its data file into DIR, then\n"
        "                              manifest.json. A DIR with a manifest needs --force.\n"
        "  verify DIR                  Finds each sensor of DIR's manifest by its serial\n"
        "                              number on the mapped ports, reads it and prints what\n"
        "                              differs from its file, as diff does; names sensors\n"
        "                              missing and sensors the backup lacks.\n"
        "  restore DIR [--dry-run] [--force] [--replace SERIAL]\n"
        "                              Finds each sensor of DIR's manifest as verify does,\n"
        "                              prints what differs from its file and writes it as\n"
        "                              apply does (--force as for apply); --dry-run writes\n"
        "                              nothing. A sensor of another serial number at a\n"
        "                              backed-up one's port and address gets that one's\n"
        "                              file only with --replace naming its serial number;\n"
        "                              once anything was written, saves the --json document\n"
        "                              into DIR as restored.json.\n"
        "  service-report --before DIR [--after DIR] --pdf FILE.pdf [--engineer NAME]\n"
        "                              Writes the service record as a PDF: per sensor of the\n"
        "                              backup DIR its identity, what changed since (against\n"
        "                              the sensors found now as verify finds them, or with\n"
        "                              --after against a second backup, sending nothing),\n"
        "                              the writes of a restore (restored.json) that were not\n"
        "                              confirmed and the link statistics; then the date and\n"
        "                              the engineer (a line to sign without --engineer).\n"
        "  ports                       Lists Comm 1 to 16 as the program numbers them\n"
        "                              (--port mappings included, numbers without a device\n"
        "                              left out): device, /dev/serial/by-id name, driver,\n"
        "                              USB adapter, latency_timer, and whether it opens\n"
        "                              (with --rs485 as given) or why not. Needs no --port\n"
        "                              and talks on no port.\n\n"
        "Exit status: 0 success; 1 diff, verify, restore --dry-run: something differs;\n"
        "2 usage error, a refused file, folder, sensor or goto target, a port that\n"
        "cannot be opened or fails, or a PDF that cannot be written; 3 no answer\n"
        "(restore, service-report: a sensor missing or not read);\n"
        "4 an answer that failed its CRC check or carried an unknown response letter;\n"
        "5 the sensor did not confirm a written value; 6 goto: not in position in time."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Serial device path, Comm number 1-16, or N=DEVICE to map "
                                     "Comm N to a device (repeatable)."),
                      QStringLiteral("DEVICE")});
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("Line speed: 115200 (default), 57600, 38400 or 19200."),
                      QStringLiteral("B"), QStringLiteral("115200")});
    parser.addOption({QStringLiteral("traffic"),
                      QStringLiteral("Writes every request and answer to FILE, one line each: "
                                     "milliseconds, request, answer, outcome."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Answer time-out in milliseconds (default 25)."),
                      QStringLiteral("MS"), QStringLiteral("25")});
    parser.addOption({QStringLiteral("rs485"),
                      QStringLiteral("How the RS-485 transmitter is switched: off (default; USB "
                                     "adapters switch by themselves), kernel (the kernel's RS-485 "
                                     "mode) or rts (RTS set by the program around each request)."),
                      QStringLiteral("MODE")});
    parser.addOption({QStringLiteral("rs485-rts"),
                      QStringLiteral("Level of RTS while sending with --rs485 kernel or rts: high "
                                     "(default) or low; the other level after."),
                      QStringLiteral("LEVEL")});
    parser.addOption({QStringLiteral("rs485-delay-before"),
                      QStringLiteral("Milliseconds RTS is at its sending level before the first "
                                     "byte, 0 to 1000 (default 0)."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("rs485-delay-after"),
                      QStringLiteral("Milliseconds RTS stays at its sending level after the last "
                                     "byte, 0 to 1000 (default 0)."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("retries"),
                      QStringLiteral("How often a request without a good answer is asked again "
                                     "(0 to 9, default 2)."),
                      QStringLiteral("N"), QStringLiteral("2")});
    parser.addOption({QStringLiteral("stats"),
                      QStringLiteral("After the command, prints the link statistics of every "
                                     "sensor asked to stderr.")});
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("Prints the output of scan, read, diff, apply, goto, backup, "
                                     "verify and restore as one JSON document, of monitor as one "
                                     "JSON object per line, and an error as a JSON object.")});
    QStringList names;
    for (const Command& entry : Commands) {
        names.append(QLatin1String(entry.name));
    }
    parser.addPositionalArgument(QStringLiteral("command"),
                                 names.join(QStringLiteral(", ")) + QStringLiteral(" (see above)"));
    // Options come before the command, so that a negative VALUE is a value.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    // A command line that does not parse still says so as JSON when asked to.
    Json.on = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(QCoreApplication::arguments())) {
        return Fail(parser.errorText());
    }
    Json.on = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) || parser.isSet(version)) {
        parser.process(*app); // prints and ends the program
    }

    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        return Fail(QStringLiteral("no command given (try --help)"));
    }
    const QString command = args.takeFirst();
    const Command* chosen = nullptr;
    for (const Command& entry : Commands) {
        if (command == QLatin1String(entry.name)) {
            chosen = &entry;
        }
    }
    if (chosen == nullptr) {
        return Fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(command));
    }
    if (Json.on && !HasJsonOutput(command)) {
        return Fail(QStringLiteral("--json: %1 prints no JSON").arg(command));
    }

    Session session;
    if (chosen->address) {
        if (args.isEmpty()) {
            return Fail(QStringLiteral("%1: ADDRESS is required").arg(command));
        }
        if (!ParseInt(args.at(0), MinAddress, MaxAddress, QStringLiteral("ADDRESS"),
                      session.link.CurrentAddress)) {
            return Usage;
        }
    }
    int portNumber = 0;
    if (!ChoosePort(parser.values(QStringLiteral("port")), session.link.PortNames, portNumber)) {
        return Usage;
    }
    const bool talks = chosen->ports != Ports::None;
    if (portNumber == 0 && chosen->ports == Ports::Chosen) {
        return Fail(QStringLiteral("--port DEVICE is required"));
    }
    cLineDriver driver;
    if (!ParseLineDriver(parser, driver)) {
        return Usage;
    }
    session.port.setLineDriver(driver);
    int baud = 0;
    if (!ParseInt(parser.value(QStringLiteral("baud")), 1, 10000000, QStringLiteral("--baud"),
                  baud)) {
        return Usage;
    }
    const int speedIndex = SpeedIndexOfBaud(baud);
    if (speedIndex < 0) {
        return Fail(QStringLiteral("--baud must be 115200, 57600, 38400 or 19200"));
    }
    if (!ParseInt(parser.value(QStringLiteral("timeout")), 1, 60000, QStringLiteral("--timeout"),
                  session.link.PacketTimeout) ||
        !ParseInt(parser.value(QStringLiteral("retries")), 0, cSensorLink::MaxRetries,
                  QStringLiteral("--retries"), session.link.Retries)) {
        return Usage;
    }
    if (!talks) {
        return chosen->run(session, args);
    }
    QFile traffic(parser.value(QStringLiteral("traffic")));
    if (parser.isSet(QStringLiteral("traffic"))) {
        if (!traffic.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return Fail(
                QStringLiteral("--traffic %1: %2").arg(traffic.fileName(), traffic.errorString()));
        }
        cLog& log = session.core.log;
        log.Options.enabled = log.Options.communications = true;
        QObject::connect(&log, &cLog::appended, &traffic, [&traffic](const QString& text) {
            traffic.write(text.toUtf8());
            traffic.flush();
        });
        // Each line at once: a command that fails ends the program before a batch would.
        for (const auto signal :
             {&cSensorLink::answerDiscarded, &cSensorLink::otherAddressAnswered}) {
            QObject::connect(&session.link, signal, &log, &cLog::FlushTraffic);
        }
        QObject::connect(&session.link, &cSensorLink::transactionEnded, &log, &cLog::FlushTraffic);
    }
    if (chosen->ports == Ports::Chosen) {
        if (!session.link.OpenPort(portNumber, speedIndex)) {
            return Fail(QStringLiteral("cannot open %1: %2")
                            .arg(session.link.PortDescription(), session.link.PortErrorText()));
        }
        if (!session.port.notice().isEmpty()) {
            Warn(session.port.notice());
        }
    }
    const int status = chosen->run(session, args);
    if (parser.isSet(QStringLiteral("stats"))) {
        PrintStatistics(session.link);
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    return FinishJson(Run(argc, argv));
}
