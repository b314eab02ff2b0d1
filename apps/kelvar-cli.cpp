// Drives the sensor link from a shell, over the same code as the window.

#include "files/DataFile.h"
#include "link/Commands.h"
#include "link/Framing.h"
#include "link/QtSerialPort.h"
#include "link/SensorLink.h"
#include "link/Speeds.h"
#include "model/Numbers.h"
#include "model/SensorData.h"
#include "operations/Session.h"
#include "operations/View.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

using namespace kelvar;

namespace {

enum ExitStatus { Ok = 0, Usage = 2, NoAnswer = 3, BadAnswer = 4, NotConfirmed = 5 };

[[noreturn]] void Fail(const QString& message) {
    QTextStream(stderr) << "kelvar-cli: " << message << Qt::endl;
    std::exit(Usage);
}

void Warn(const QString& message) {
    QTextStream(stderr) << "kelvar-cli: " << message << Qt::endl;
}

int ParseInt(const QString& text, int low, int high, const QString& what) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) {
        Fail(QStringLiteral("%1 must be %2 to %3, got \"%4\"")
                 .arg(what)
                 .arg(low)
                 .arg(high)
                 .arg(text));
    }
    return value;
}

// Every --port value: "N=DEVICE" maps Comm N, a bare number chooses Comm N,
// anything else is the device itself (taken as Comm 1).
int ChoosePort(const QStringList& values, cPortNames& names) {
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    int chosen = 0;
    for (const QString& value : values) {
        if (value.contains(u'=')) {
            if (const QString error = names.addMapping(value); !error.isEmpty()) {
                Fail(QStringLiteral("--port: ") + error);
            }
        } else if (number.match(value).hasMatch()) {
            chosen = ParseInt(value, MinPortNumber, MaxPortNumber, QStringLiteral("--port"));
        } else {
            names.setDevice(1, value);
            chosen = 1;
        }
    }
    if (chosen == 0) {
        Fail(QStringLiteral("--port DEVICE is required"));
    }
    return chosen;
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
        QString plain = text;
        plain.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        Warn(title + QStringLiteral(": ") + plain.simplified());
        switch (buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::OkCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            break;
        }
        return MessageAnswer::No;
    }

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
        return Usage;
    default:
        return NoAnswer;
    }
}

int RunSend(Session& s, const QStringList& args) {
    if (args.size() != 2) {
        Fail(QStringLiteral("usage: send ADDRESS COMMANDTEXT"));
    }
    static const QRegularExpression printable(QStringLiteral("^[\\x20-\\x7E]+$"));
    if (!printable.match(args.at(1)).hasMatch()) {
        Fail(QStringLiteral("COMMANDTEXT must be printable ASCII"));
    }
    const auto outcome = s.link.SendCommand(args.at(1).toLatin1(), 0);
    QTextStream out(stdout);
    out << "TX " << QString::fromLatin1(s.link.TxText()) << '\n';
    out << "RX "
        << (s.link.LastAnswer().isEmpty() ? QStringLiteral("none")
                                          : QString::fromLatin1(s.link.LastAnswer()))
        << Qt::endl;
    return ExitFor(outcome);
}

// Requests that went unanswered are named, so that a value read as 0 is
// never taken for what the sensor holds.
int ReportFailures(Session& s) {
    const QList<QByteArray> failed = s.commands.TakeFailedRequests();
    if (failed.isEmpty()) {
        return Ok;
    }
    QStringList texts;
    for (const QByteArray& command : failed) {
        texts.append(QString::fromLatin1(command));
    }
    Warn(QStringLiteral("%1 request(s) got no valid answer: %2")
             .arg(failed.size())
             .arg(texts.join(QStringLiteral(", "))));
    return NoAnswer;
}

int RunIdentity(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        Fail(QStringLiteral("usage: identity ADDRESS"));
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
        Fail(QStringLiteral("usage: serial ADDRESS"));
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
        Fail(QStringLiteral("usage: param ADDRESS INDEX [VALUE]"));
    }
    InitParameterTable(s.sensor);
    const int index = ParseInt(args.at(1), 0, s.sensor.MaxParameters(), QStringLiteral("INDEX"));
    const std::int32_t type = s.sensor.ReadParameterData(index, 5);
    const QString name = s.sensor.ReadParameterName(index, 0).trimmed();
    QTextStream out(stdout);

    if (args.size() == 2) {
        const auto read = s.commands.ReadParameter(index);
        if (read.answered()) {
            out << index << ' ' << name << ": " << SensorValue(index, read.value) << Qt::endl;
        }
        if (!read.answered()) {
            ReportFailures(s);
        }
        return ExitFor(read.outcome);
    }

    if (type == 0 || type == 8) {
        Fail(QStringLiteral("parameter %1 is %2 and cannot be written to the sensor")
                 .arg(index)
                 .arg(type == 0 ? QStringLiteral("not used")
                                : QStringLiteral("kept by the program")));
    }
    const std::int32_t value =
        ParseInt(args.at(2), s.sensor.ReadParameterData(index, 2),
                 s.sensor.ReadParameterData(index, 3), QStringLiteral("VALUE of %1").arg(name));
    if (!s.commands.EnsureMode5()) {
        ReportFailures(s);
        Warn(QStringLiteral("the sensor did not enter mode 5; nothing was written"));
        return NoAnswer;
    }
    s.sensor.WriteParameterData(index, 1, value);
    const auto write = s.commands.WriteParameter(index);
    if (!write.answered()) {
        ReportFailures(s);
        return ExitFor(write.outcome);
    }
    const std::int32_t held = SensorValue(index, write.value);
    out << index << ' ' << name << ": " << held << Qt::endl;
    if (write.value != write.sent) {
        Warn(QStringLiteral("the sensor did not confirm the value: sent %1, it holds %2")
                 .arg(value)
                 .arg(held));
        return NotConfirmed;
    }
    return Ok;
}

// Options that follow a command, parsed apart from the global ones.
void ParseCommandOptions(QCommandLineParser& parser, const QString& command,
                         const QStringList& args) {
    if (!parser.parse(QStringList{command} + args)) {
        Fail(command + QStringLiteral(": ") + parser.errorText());
    }
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
    ParseCommandOptions(parser, QStringLiteral("scan"), args);
    if (!parser.positionalArguments().isEmpty()) {
        Fail(QStringLiteral("usage: scan [--all-speeds]"));
    }
    if (parser.isSet(allSpeeds)) {
        s.link.AvailablePorts.SetBit(s.link.CurrentPort);
        s.core.FullScan();
    } else {
        s.core.ScanPort();
    }
    PrintSensors(s.core.sensors);
    return s.core.sensors.Count() > 0 ? Ok : NoAnswer;
}

// Points the session at the one sensor asked for and reads it whole.
bool LoadOne(Session& s) {
    auto& sensors = s.core.sensors;
    sensors.Clear();
    sensors.setPort(static_cast<std::int16_t>(s.link.CurrentPort));
    sensors.setBaudRate(static_cast<std::int16_t>(s.link.BaudIndex));
    sensors.setAddress(static_cast<std::int16_t>(s.link.CurrentAddress));
    sensors.setActive(true);
    sensors.Add();
    InitParameterTable(s.sensor);
    s.core.LoadSensor(1);
    s.core.StopMonitor();
    if (!s.link.StateFlags.TestBit(StateBit::DataLoaded)) {
        Warn(QStringLiteral("sensor %1 does not answer").arg(s.link.CurrentAddress));
        return false;
    }
    return true;
}

int RunRead(Session& s, const QStringList& args) {
    const QCommandLineOption outOption(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    QCommandLineParser parser;
    parser.addOption(outOption);
    ParseCommandOptions(parser, QStringLiteral("read"), args);
    if (parser.positionalArguments().size() != 1) {
        Fail(QStringLiteral("usage: read ADDRESS [--out FILE.dat]"));
    }
    if (!LoadOne(s)) {
        return NoAnswer;
    }
    if (parser.isSet(outOption)) {
        // The values as read are the edited ones after a read: the file is a
        // faithful copy of the sensor.
        QString error;
        if (!SaveSensorDataFile(parser.value(outOption), s.sensor, &error)) {
            Warn(error);
            return Usage;
        }
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
        const std::int32_t type = sensor.ReadParameterData(r, 5);
        if (type != 0 && type != 8) {
            out << r << ' ' << sensor.ReadParameterName(r, 0).trimmed() << ": "
                << sensor.ReadParameterData(r, 0) << '\n';
        }
    }
    for (int n = 0; n <= sensor.MaxSetpoints(); ++n) {
        out << "Setpoint " << n << ": " << sensor.SetpointText(n, 0) << ' '
            << sensor.SetpointText(n, 1) << ' ' << sensor.SetpointText(n, 2) << '\n';
    }
    out.flush();
    return s.core.LastReadFailures().isEmpty() ? Ok : NoAnswer;
}

// Reads the sensor and loads the file into the edited values; prints what
// Apply would write and returns how many values differ.
int LoadFileAndShowDifferences(Session& s, const QStringList& args, const QString& command) {
    if (args.size() != 2) {
        Fail(QStringLiteral("usage: %1 ADDRESS FILE.dat").arg(command));
    }
    if (!LoadOne(s)) {
        std::exit(NoAnswer);
    }
    QString error;
    if (!LoadSensorDataFile(args.at(1), s.sensor, &error)) {
        Fail(error);
    }
    auto& sensor = s.sensor;
    QTextStream out(stdout);
    int differences = 0;
    for (int r = 1; r <= sensor.MaxParameters(); ++r) {
        const std::int32_t type = sensor.ReadParameterData(r, 5);
        const std::int32_t held = sensor.ReadParameterData(r, 0);
        const std::int32_t wanted = sensor.ReadParameterData(r, 1);
        if ((type == 1 || type == 4) && held != wanted) {
            out << sensor.ReadParameterName(r, 0).trimmed() << ": " << held << ' ' << wanted
                << '\n';
            ++differences;
        }
    }
    static const char* const fields[] = {"target", "velocity", "dwell"};
    for (int n = 0; n <= sensor.MaxSetpoints(); ++n) {
        for (int f = 0; f < 3; ++f) {
            const std::int32_t held = sensor.ReadSetpointData(n, f);
            const std::int32_t wanted = sensor.ReadSetpointData(n, f + 3);
            if (held != wanted) {
                out << "Setpoint " << n << ' ' << fields[f] << ": " << held << ' ' << wanted
                    << '\n';
                ++differences;
            }
        }
    }
    out.flush();
    return differences;
}

int RunDiff(Session& s, const QStringList& args) {
    return LoadFileAndShowDifferences(s, args, QStringLiteral("diff")) == 0 ? Ok : 1;
}

int RunApply(Session& s, const QStringList& args) {
    LoadFileAndShowDifferences(s, args, QStringLiteral("apply"));
    s.core.WriteChanges();
    const auto unconfirmed = s.core.LastUnconfirmed();
    if (s.sensor.CyclePowerFlag()) {
        Warn(QStringLiteral("one or more changes take effect only after the sensor's power has "
                            "been cycled"));
    }
    s.core.LoadSensor(cSession::ReloadCurrent);
    s.core.StopMonitor();
    for (const auto& u : unconfirmed) {
        Warn(QStringLiteral("not confirmed: %1: sent %2, sensor holds %3")
                 .arg(u.item)
                 .arg(u.sent)
                 .arg(u.held));
    }
    return unconfirmed.isEmpty() && s.core.LastReadFailures().isEmpty() ? Ok : NotConfirmed;
}

int RunMonitor(Session& s, const QStringList& args) {
    const QCommandLineOption countOption(QStringLiteral("count"), QString(), QStringLiteral("N"),
                                         QStringLiteral("20"));
    const QCommandLineOption csvOption(QStringLiteral("csv"));
    QCommandLineParser parser;
    parser.addOptions({countOption, csvOption});
    ParseCommandOptions(parser, QStringLiteral("monitor"), args);
    if (parser.positionalArguments().size() != 1) {
        Fail(QStringLiteral("usage: monitor ADDRESS [--count N] [--csv]"));
    }
    const int count = ParseInt(parser.value(countOption), 1, 1000000, QStringLiteral("--count"));
    const bool csv = parser.isSet(csvOption);
    if (!LoadOne(s)) {
        return NoAnswer;
    }
    const auto& decoder = s.link.Decoder();
    const int decimals = s.sensor.Resolution() >= 0.001F ? 3 : 4;
    QTextStream out(stdout);
    if (csv) {
        out << "time_ms,position,velocity,target,status\n";
    }
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    int lines = 0;
    // Connected after the tick itself, so each line shows the tick's answer.
    QObject::connect(&s.core.MonitorTimer, &QTimer::timeout, &loop, [&] {
        const QStringList fields = {QString::number(decoder.Position(), 'f', decimals),
                                    QString::number(decoder.Velocity(), 'f', 2),
                                    QString::number(decoder.Target(), 'f', decimals),
                                    QString::number(std::max(0, decoder.StatusByte()), 16)
                                        .toUpper()
                                        .rightJustified(2, u'0')};
        if (csv) {
            out << clock.elapsed() << ',' << fields.join(u',') << '\n';
        } else {
            out << fields.join(u' ') << '\n';
        }
        out.flush();
        if (++lines >= count) {
            loop.quit();
        }
    });
    s.core.StartMonitor();
    loop.exec();
    s.core.StopMonitor();
    return Ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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
        "  diff ADDRESS FILE.dat       Prints what applying the file would change (name,\n"
        "                              sensor value, file value); exit status 1 if anything.\n"
        "  apply ADDRESS FILE.dat      Writes the file's values to the sensor, reads it again\n"
        "                              and names what the sensor did not confirm.\n"
        "  monitor ADDRESS [--count N] [--csv]\n"
        "                              Polls the sensor as the window's monitor does and\n"
        "                              prints position, velocity, target and status byte.\n\n"
        "Exit status: 0 success; 2 usage error or a port that cannot be opened; 3 no answer;\n"
        "4 an answer that failed its CRC check or carried an unknown response letter;\n"
        "5 the sensor did not confirm a written value."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Serial device path, Comm number 1-16, or N=DEVICE to map "
                                     "Comm N to a device (repeatable)."),
                      QStringLiteral("DEVICE")});
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("Line speed: 115200 (default), 57600, 38400 or 19200."),
                      QStringLiteral("B"), QStringLiteral("115200")});
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Answer time-out in milliseconds (default 25)."),
                      QStringLiteral("MS"), QStringLiteral("25")});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("send, identity, param or serial"));
    // Options come before the command, so that a negative VALUE is a value.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QCoreApplication::arguments())) {
        Fail(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(Ok);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }

    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        Fail(QStringLiteral("no command given (try --help)"));
    }
    const QString command = args.takeFirst();
    struct Command {
        const char* name;
        int (*run)(Session&, const QStringList&);
        bool address;
    };
    const Command commands[] = {
        {"send", RunSend, true},       {"identity", RunIdentity, true}, {"param", RunParam, true},
        {"serial", RunSerial, true},   {"scan", RunScan, false},        {"read", RunRead, true},
        {"monitor", RunMonitor, true}, {"diff", RunDiff, true},         {"apply", RunApply, true}};
    const Command* chosen = nullptr;
    for (const Command& entry : commands) {
        if (command == QLatin1String(entry.name)) {
            chosen = &entry;
        }
    }
    if (chosen == nullptr) {
        Fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(command));
    }

    Session session;
    if (chosen->address) {
        if (args.isEmpty()) {
            Fail(QStringLiteral("%1: ADDRESS is required").arg(command));
        }
        session.link.CurrentAddress =
            ParseInt(args.at(0), MinAddress, MaxAddress, QStringLiteral("ADDRESS"));
    }
    const int portNumber =
        ChoosePort(parser.values(QStringLiteral("port")), session.link.PortNames);
    const int speedIndex = SpeedIndexOfBaud(
        ParseInt(parser.value(QStringLiteral("baud")), 1, 10000000, QStringLiteral("--baud")));
    if (speedIndex < 0) {
        Fail(QStringLiteral("--baud must be 115200, 57600, 38400 or 19200"));
    }
    session.link.PacketTimeout =
        ParseInt(parser.value(QStringLiteral("timeout")), 1, 60000, QStringLiteral("--timeout"));
    if (!session.link.OpenPort(portNumber, speedIndex)) {
        Fail(QStringLiteral("cannot open %1: %2")
                 .arg(session.link.PortDescription(), session.link.PortErrorText()));
    }
    const int status = chosen->run(session, args);
    if (status == NoAnswer && !session.link.PortErrorText().isEmpty()) {
        Warn(session.link.PortErrorText());
    }
    return status;
}
